#include "networkplan.h"

#include <algorithm>
#include <cstdlib>

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

TBuffer allocate(std::size_t bytes)
{
    const std::size_t rounded = (std::max<std::size_t>(bytes, 64) + 63) / 64 * 64;
    void* pointer = std::aligned_alloc(64, rounded);
    if (!pointer)
        throw std::bad_alloc();
    return TBuffer(pointer);
}

} // namespace

std::size_t TNetworkPlan::Bytes() const
{
    std::size_t total = 0;
    for (std::size_t bytes : slotBytes)
        total += bytes;
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
    const int reordered = Temporary(desc);
    TStep step;
    step.primitive = dnnl::reorder(
        dnnl::reorder::primitive_desc(cpu, values[std::size_t(value)].desc, cpu, desc));
    step.args = {{DNNL_ARG_FROM, value}, {DNNL_ARG_TO, reordered}};
    steps.push_back(std::move(step));
    return reordered;
}

void TNetworkPlan::Bind()
{
    if (bound)
        return;
    bound = true;
    for (std::size_t bytes : slotBytes)
        buffers.push_back(allocate(bytes));
    for (TValue& value : values) {
        value.object =
            value.slot >= 0
                ? memory(value.desc, cpu,
                         static_cast<char*>(buffers[std::size_t(value.slot)].get()) + value.offset)
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
    buffers.clear();
    bound = false;
}

TPlanBuilder::TPlanBuilder(TNetworkState& networkState, TNetworkPlan& networkPlan)
    : state(networkState), plan(networkPlan), valueOf(networkState.model.blobs.size(), -1),
      readerOf(networkState.model.blobs.size(), -1),
      computed(networkState.model.layers.size(), false),
      prescaled(networkState.model.blobs.size(), false)
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
