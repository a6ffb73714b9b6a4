#include "networkplan.h"

#include "layerkinds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sys/mman.h>

namespace engine
{

void Refuse(const TModelLayer& layer, const std::string& what)
{
    throw EModelError("layer \"" + layer.name + "\" (" + layer.type + "): " + what);
}

void NeedInputs(const TModelLayer& layer, const std::vector<int>& in, std::size_t count)
{
    if (in.size() != count || layer.outputs.size() != 1)
        Refuse(layer, "needs " + std::to_string(count) + " input blob(s) and one output");
}

TBlobShape ShapeOf(const memory::desc& desc)
{
    const memory::dims dims = desc.dims();
    return {int(dims[1]), int(dims[2]), int(dims[3])};
}

memory::desc PlainDesc(int channels, int height, int width)
{
    return memory::desc({1, channels, height, width}, Type::f32, Tag::nchw);
}

void TAlignedFree::operator()(void* pointer) const
{
    std::free(pointer);
}

namespace
{

std::size_t cacheLines(std::size_t bytes)
{
    return (std::max<std::size_t>(bytes, 64) + 63) / 64 * 64;
}

} // namespace

TBuffer AllocateBuffer(std::size_t bytes)
{
    // Huge pages: a tile's blobs span tens of megabytes that the kernels stride through, and
    // the first touch of each 4 KB page would cost more than the arithmetic on it.
    constexpr std::size_t hugePage = std::size_t(2) << 20;
    const std::size_t size =
        (std::max<std::size_t>(bytes, 64) + hugePage - 1) / hugePage * hugePage;
    void* pointer = std::aligned_alloc(hugePage, size);
    if (!pointer)
        throw std::bad_alloc();
    ::madvise(pointer, size, MADV_HUGEPAGE);
    return TBuffer(pointer);
}

int SameConvolutionRadius(const TLayerParams& params)
{
    const int kernelW = params.Int(1, 0);
    const int dilationW = params.Int(2, 1);
    const int strideW = params.Int(3, 1);
    const int padLeft = params.Int(4, 0);
    const bool square = params.Int(11, kernelW) == kernelW &&
                        params.Int(12, dilationW) == dilationW &&
                        params.Int(13, strideW) == strideW;
    const int reach = dilationW * (kernelW - 1);
    if (!square || strideW != 1 || kernelW <= 0 || dilationW <= 0 || reach % 2 != 0 ||
        padLeft != reach / 2)
        return -1;
    const int padTop = params.Int(14, padLeft);
    if (padTop != padLeft || params.Int(15, padLeft) != padLeft ||
        params.Int(16, padTop) != padLeft)
        return -1;
    return reach / 2;
}

int WholeResizeFactor(const TModelLayer& layer)
{
    if (layer.type == "PixelShuffle")
        return std::max(layer.params.Int(0, 1), 1);
    const float scaleH = layer.params.Float(1, 1.f);
    const float scaleW = layer.params.Float(2, 1.f);
    const int factor = int(scaleH);
    if (scaleH != scaleW || float(factor) != scaleH || factor < 1 || layer.params.Int(0, 0) != 1 ||
        layer.params.Int(3, 0) != 0 || layer.params.Int(4, 0) != 0 || layer.params.Int(5, 0) != 0)
        return -1;
    return factor;
}

int CutForEnlarging(TPlanBuilder& builder, const TModelLayer& layer, int value, int factor,
                    int& margin, int& fullMargin)
{
    const int available = builder.MarginOf(value);
    margin = -1;
    fullMargin = -1;
    if (factor <= 0 || available < 0)
        return value;
    const int needed = builder.NeededOf(layer.outputs[0], available * factor);
    const int cut = builder.plan.InMargin(value, (needed + factor - 1) / factor);
    margin = builder.MarginOf(cut) * factor;
    fullMargin = builder.FullMarginOf(value) * factor;
    return cut;
}

std::optional<TResampling> ResamplingOf(const TModelLayer& layer)
{
    const TLayerParams& params = layer.params;
    const int kind = params.Int(0, 0);
    const float scale = params.Float(1, 1.f);
    // With aligned corners the sampling grid depends on the blob's size, which a cut changes.
    if (layer.type != "Interp" || (kind != 2 && kind != 3) || scale <= 0.f ||
        params.Float(2, 1.f) != scale || params.Int(6, 0) != 0)
        return std::nullopt;
    constexpr int largestDenominator = 16;
    for (int denominator = 1; denominator <= largestDenominator; ++denominator) {
        const float numerator = scale * float(denominator);
        if (numerator == std::round(numerator) && numerator >= 1.f) {
            // A sample's taps reach up to two pixels beyond its own, and the sample itself lies
            // up to a pixel off the one its output pixel starts from.
            return TResampling{int(numerator), denominator, kind == 3 ? 3 : 2};
        }
    }
    return std::nullopt;
}

int TResampling::InputMarginFor(int outputMargin) const
{
    if (outputMargin == WholeMargin)
        return WholeMargin;
    const int margin = (outputMargin * denominator + numerator - 1) / numerator + reach;
    return (margin + denominator - 1) / denominator * denominator;
}

std::vector<int> NeededMargins(const TNcnnModel& model, int border)
{
    std::vector<int> need(model.blobs.size(), -1);
    const std::vector<int> whole(model.blobs.size(), WholeMargin);
    if (border <= 0 || model.output < 0)
        return whole;
    need[std::size_t(model.output)] = 0;
    for (std::size_t l = model.layers.size(); l-- > 0;) {
        const TModelLayer& layer = model.layers[l];
        int out = -1;
        for (int blob : layer.outputs)
            out = std::max(out, need[std::size_t(blob)]);
        if (out < 0 || layer.type == "Input")
            continue;
        const TLayerKind* kind = LayerKindOf(layer.type);
        const int in = kind ? kind->inputMargin(layer, out) : -1;
        if (in < 0)
            return whole;
        for (int blob : layer.inputs)
            need[std::size_t(blob)] = std::max(need[std::size_t(blob)], in);
    }
    return need;
}

std::size_t TNetworkPlan::Bytes() const
{
    std::size_t total = 0;
    for (std::size_t bytes : slotBytes)
        total += cacheLines(bytes);
    return total;
}

int TNetworkPlan::takeSlot(std::size_t bytes)
{
    // The smallest free buffer that is large enough, else the largest one, grown.
    int best = -1;
    for (int slot : freeSlots) {
        const std::size_t size = slotBytes[std::size_t(slot)];
        if (best < 0) {
            best = slot;
            continue;
        }
        const std::size_t bestSize = slotBytes[std::size_t(best)];
        if (bestSize >= bytes ? size >= bytes && size < bestSize : size > bestSize)
            best = slot;
    }
    if (best >= 0) {
        freeSlots.erase(std::find(freeSlots.begin(), freeSlots.end(), best));
        slotBytes[std::size_t(best)] = std::max(slotBytes[std::size_t(best)], bytes);
    } else {
        best = int(slotBytes.size());
        slotBytes.push_back(bytes);
        slotUsers.push_back(0);
    }
    return best;
}

int TNetworkPlan::NewValue(const memory::desc& desc)
{
    const int slot = takeSlot(desc.get_size());
    ++slotUsers[std::size_t(slot)];
    values.push_back({desc, slot, 0, 0, {}});
    return int(values.size()) - 1;
}

int TNetworkPlan::PlacedValue(const memory::desc& desc, int region, int regionChannels, int channel)
{
    const TBlobShape shape = ShapeOf(desc);
    const std::size_t element = memory::data_type_size(desc.data_type());
    const std::size_t plane = std::size_t(shape.height) * std::size_t(shape.width) * element;
    if (regionSlots.size() <= std::size_t(region))
        regionSlots.resize(std::size_t(region) + 1, -1);
    int& slot = regionSlots[std::size_t(region)];
    if (slot < 0)
        slot = takeSlot(std::size_t(regionChannels) * plane);
    ++slotUsers[std::size_t(slot)];
    // With one image and whole blocks of channels, channel c of a blocked layout starts
    // c planes into the buffer.
    values.push_back({desc, slot, std::size_t(channel) * plane, 0, {}, true});
    return int(values.size()) - 1;
}

int TNetworkPlan::Temporary(const memory::desc& desc)
{
    const int value = NewValue(desc);
    values[std::size_t(value)].readers = 1;
    return value;
}

void TNetworkPlan::Read(int value)
{
    TValue& read = values[std::size_t(value)];
    if (--read.readers == 0 && read.slot >= 0 && --slotUsers[std::size_t(read.slot)] == 0)
        freeSlots.push_back(read.slot);
}

int TNetworkPlan::InLayout(int value, const memory::desc& desc)
{
    if (values[std::size_t(value)].desc == desc)
        return value;
    return copied(value, desc, values[std::size_t(value)].margin);
}

int TNetworkPlan::copied(int value, const memory::desc& desc, int margin)
{
    const int copy = Temporary(desc);
    values[std::size_t(copy)].margin = margin;
    values[std::size_t(copy)].fullMargin = values[std::size_t(value)].fullMargin;
    TStep step;
    step.primitive = dnnl::reorder(
        dnnl::reorder::primitive_desc(cpu, values[std::size_t(value)].desc, cpu, desc));
    step.args = {{DNNL_ARG_FROM, value}, {DNNL_ARG_TO, copy}};
    steps.push_back(std::move(step));
    return copy;
}

int TNetworkPlan::View(int value, int margin)
{
    const TValue source = values[std::size_t(value)];
    const int cut = source.margin - margin;
    if (cut <= 0 || margin < 0)
        return value;
    const TBlobShape shape = ShapeOf(source.desc);
    const memory::desc window = source.desc.submemory_desc(
        {1, shape.channels, shape.height - 2 * cut, shape.width - 2 * cut}, {0, 0, cut, cut});
    values.push_back({window,
                      source.slot,
                      source.offset,
                      0,
                      {},
                      source.placed,
                      margin,
                      source.fullMargin,
                      source.viewOf >= 0 ? source.viewOf : value});
    return int(values.size()) - 1;
}

int TNetworkPlan::InMargin(int value, int margin)
{
    const int view = View(value, margin);
    if (view == value)
        return value;
    const memory::desc& source = values[std::size_t(value)].desc;
    const memory::dims kept = values[std::size_t(view)].desc.dims();
    // The copy keeps the layout, so that its reader finds it as it would the whole value.
    memory::desc dense(kept, source.data_type(), Tag::nchw);
    for (const Tag tag : {Tag::nhwc, Tag::nChw16c, Tag::nChw8c}) {
        if (memory::desc(source.dims(), source.data_type(), tag) == source)
            dense = memory::desc(kept, source.data_type(), tag);
    }
    return copied(view, dense, margin);
}

void TNetworkPlan::Bind(char* arena)
{
    if (boundTo == arena)
        return;
    boundTo = arena;
    std::vector<std::size_t> slotOffsets;
    std::size_t at = 0;
    for (std::size_t bytes : slotBytes) {
        slotOffsets.push_back(at);
        at += cacheLines(bytes);
    }
    for (TValue& value : values) {
        value.object = value.slot >= 0
                           ? memory(value.desc, cpu,
                                    arena + slotOffsets[std::size_t(value.slot)] + value.offset)
                           : memory(value.desc, cpu, DNNL_MEMORY_NONE);
    }
    for (TStep& step : steps) {
        if (step.custom)
            continue;
        for (const auto& [arg, value] : step.args)
            step.bound[arg] = values[std::size_t(value)].object;
        for (const auto& [arg, object] : step.fixedArgs)
            step.bound[arg] = object;
    }
}

void TNetworkPlan::Release()
{
    for (TValue& value : values)
        value.object = memory();
    for (TStep& step : steps)
        step.bound.clear();
    boundTo = nullptr;
}

TPlanBuilder::TPlanBuilder(TNetworkState& networkState, TNetworkPlan& networkPlan)
    : state(networkState), plan(networkPlan), valueOf(networkState.model.blobs.size(), -1),
      readerOf(networkState.model.blobs.size(), -1),
      computed(networkState.model.layers.size(), false),
      prescaled(networkState.model.blobs.size(), false),
      need(NeededMargins(networkState.model, networkPlan.border))
{
    for (std::size_t l = 0; l < Model().layers.size(); ++l) {
        for (int blob : Model().layers[l].inputs)
            readerOf[std::size_t(blob)] = int(l);
    }
}

void TPlanBuilder::Give(int blob, int value)
{
    valueOf[std::size_t(blob)] = value;
    if (readerOf[std::size_t(blob)] >= 0)
        ++plan.values[std::size_t(value)].readers;
}

bool TPlanBuilder::Placed(int blob) const
{
    return state.placement.blobs[std::size_t(blob)].region >= 0;
}

memory::desc TPlanBuilder::BlockedDesc(int channels, int height, int width) const
{
    return memory::desc({1, channels, height, width}, ConvolutionType(), Tag::nChw16c);
}

void TPlanBuilder::SetMargin(int value, int margin, int fullMargin)
{
    plan.values[std::size_t(value)].margin = margin;
    plan.values[std::size_t(value)].fullMargin = fullMargin;
}

int TPlanBuilder::NeededOf(int blob, int available) const
{
    const int needed = need[std::size_t(blob)];
    return needed < 0 || needed > available ? available : needed;
}

bool TPlanBuilder::InRegion(int value) const
{
    return plan.values[std::size_t(value)].placed;
}

int TPlanBuilder::ValueFor(int blob, const memory::desc& desc)
{
    const TPlace& place = state.placement.blobs[std::size_t(blob)];
    // A layer that could not take the blocked layout keeps its own buffer; its Concat copies.
    const TBlobShape shape = ShapeOf(desc);
    if (place.region < 0 || desc != BlockedDesc(shape.channels, shape.height, shape.width))
        return plan.NewValue(desc);
    return plan.PlacedValue(desc, place.region,
                            state.placement.regionChannels[std::size_t(place.region)],
                            place.channel);
}

} // namespace engine
