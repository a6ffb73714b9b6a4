#include "network.h"

#include <dnnl.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <optional>

namespace engine
{

namespace
{

using dnnl::memory;
using Tag = memory::format_tag;
using Type = memory::data_type;

std::string label(const TModelLayer& layer)
{
    return '"' + layer.name + "\" (" + layer.type + ")";
}

[[noreturn]] void refuse(const TModelLayer& layer, const std::string& what)
{
    throw EModelError("layer " + label(layer) + ": " + what);
}

memory::desc plainDesc(int channels, int height, int width)
{
    return memory::desc({1, channels, height, width}, Type::f32, Tag::nchw);
}

struct TAlignedFree {
    void operator()(void* pointer) const { std::free(pointer); }
};
using TBuffer = std::unique_ptr<void, TAlignedFree>;

TBuffer allocate(std::size_t bytes)
{
    const std::size_t rounded = (std::max<std::size_t>(bytes, 64) + 63) / 64 * 64;
    void* pointer = std::aligned_alloc(64, rounded);
    if (!pointer)
        throw std::bad_alloc();
    return TBuffer(pointer);
}

} // namespace

// A convolution's weights after the one reorder into the layout oneDNN's kernel wants.
struct TConvolutionWeights {
    memory weights;
    memory bias;
};

struct TNetwork::TState {
    TNcnnModel model;
    dnnl::engine cpu{dnnl::engine::kind::cpu, 0};
    dnnl::stream stream{cpu};
    std::map<std::size_t, TConvolutionWeights> weights; // by layer index
    std::map<std::size_t, memory> slopes;               // PReLU slopes, plain
    std::unique_ptr<TPlan> plan;
};

// A blob's value in a plan: its layout and the buffer it lives in (-1: the caller's input or
// output).
struct TValue {
    memory::desc desc;
    int slot = -1;
    int readers = 0;
    memory object;
};

struct TStep {
    std::optional<dnnl::primitive> primitive;
    std::vector<std::pair<int, int>> args; // oneDNN argument -> value index
    std::vector<std::pair<int, memory>> fixedArgs;
    std::function<void()> custom;
    std::unordered_map<int, memory> bound;
};

struct TNetwork::TPlan {
    int height = 0;
    int width = 0;
    std::vector<TValue> values;
    std::vector<TStep> steps;
    std::vector<std::size_t> slotBytes;
    std::vector<int> freeSlots;
    std::vector<TBuffer> buffers;
    std::vector<TConvolutionShape> convolutions;
    int input = -1;
    int output = -1;
    int outputChannels = 0;
    int outputHeight = 0;
    int outputWidth = 0;

    std::size_t Bytes() const
    {
        std::size_t total = 0;
        for (std::size_t bytes : slotBytes)
            total += bytes;
        return total;
    }

    int NewValue(const memory::desc& desc)
    {
        // The smallest free buffer that is large enough, else the largest one, grown.
        const std::size_t bytes = desc.get_size();
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
        }
        values.push_back({desc, best, 0, {}});
        return int(values.size()) - 1;
    }

    // A value that only the next step reads.
    int Temporary(const memory::desc& desc)
    {
        const int value = NewValue(desc);
        values[std::size_t(value)].readers = 1;
        return value;
    }

    void Read(int value)
    {
        TValue& read = values[std::size_t(value)];
        if (--read.readers == 0 && read.slot >= 0)
            freeSlots.push_back(read.slot);
    }

    // The value in the layout `desc`, reordered into a temporary when it is in another.
    int InLayout(int value, const memory::desc& desc)
    {
        if (values[std::size_t(value)].desc == desc)
            return value;
        const int reordered = Temporary(desc);
        TStep step;
        step.primitive = dnnl::reorder(dnnl::reorder::primitive_desc(
            cpuEngine, values[std::size_t(value)].desc, cpuEngine, desc));
        step.args = {{DNNL_ARG_FROM, value}, {DNNL_ARG_TO, reordered}};
        steps.push_back(std::move(step));
        return reordered;
    }

    dnnl::engine cpuEngine;
};

namespace
{

struct TBlobShape {
    int channels, height, width;
};

TBlobShape shapeOf(const memory::desc& desc)
{
    const memory::dims dims = desc.dims();
    return {int(dims[1]), int(dims[2]), int(dims[3])};
}

// A weighted sum that alone reads a convolution's result and adds one other blob at weight 1.
// The convolution then takes the sum's weight into its own weights and adds the other blob as it
// writes its result, which spares the sum a pass over memory.
struct TSumAfter {
    std::size_t layer;
    float scale;
    int otherBlob;
};

std::optional<TSumAfter> sumAfter(const TNcnnModel& model, const std::vector<int>& readerOf,
                                  std::size_t convolution)
{
    const TModelLayer& layer = model.layers[convolution];
    if (layer.params.Int(9, 0) != 0 || layer.outputs.size() != 1)
        return std::nullopt;
    const int blob = layer.outputs[0];
    const int reader = readerOf[std::size_t(blob)];
    if (reader < 0)
        return std::nullopt;
    const TModelLayer& sum = model.layers[std::size_t(reader)];
    if (sum.type != "Eltwise" || sum.params.Int(0, 1) != 1 || sum.inputs.size() != 2 ||
        sum.outputs.size() != 1 || sum.inputs[0] == sum.inputs[1])
        return std::nullopt;
    std::vector<float> scales = sum.params.Floats(-23301);
    if (scales.empty())
        scales = {1.f, 1.f};
    const std::size_t mine = sum.inputs[0] == blob ? 0 : 1;
    if (scales.size() != 2 || scales[1 - mine] != 1.f || scales[mine] == 0.f)
        return std::nullopt;
    return TSumAfter{std::size_t(reader), scales[mine], sum.inputs[1 - mine]};
}

dnnl::algorithm binaryAlgorithm(const TModelLayer& layer, int operation, bool& swapped)
{
    swapped = false;
    switch (operation) {
    case 0:
        return dnnl::algorithm::binary_add;
    case 1:
        return dnnl::algorithm::binary_sub;
    case 2:
        return dnnl::algorithm::binary_mul;
    case 3:
        return dnnl::algorithm::binary_div;
    case 4:
        return dnnl::algorithm::binary_max;
    case 5:
        return dnnl::algorithm::binary_min;
    case 7:
        swapped = true;
        return dnnl::algorithm::binary_sub;
    case 8:
        swapped = true;
        return dnnl::algorithm::binary_div;
    default:
        refuse(layer, "operation 0=" + std::to_string(operation) + " is not supported");
    }
}

} // namespace

TPrecision NativePrecision()
{
    const dnnl::cpu_isa isa = dnnl::get_effective_cpu_isa();
    const bool native =
        isa == dnnl::cpu_isa::avx512_core_bf16 || isa == dnnl::cpu_isa::avx512_core_amx;
    return native ? TPrecision::Bfloat16 : TPrecision::Float32;
}

TNetwork::TNetwork(TNcnnModel model, TPrecision precision)
    : state_(std::make_unique<TState>()), precision_(precision)
{
    state_->model = std::move(model);
    for (std::size_t l = 0; l < state_->model.layers.size(); ++l) {
        const TModelLayer& layer = state_->model.layers[l];
        if (layer.type == "PReLU") {
            const std::vector<float>& slopes = layer.weights[0];
            memory plain(memory::desc({1, memory::dim(slopes.size()), 1, 1}, Type::f32, Tag::nchw),
                         state_->cpu);
            std::memcpy(plain.get_data_handle(), slopes.data(), slopes.size() * sizeof(float));
            state_->slopes.emplace(l, plain);
        }
    }
    constexpr int probe = 16;
    TPlan& plan = planFor(probe, probe);
    if (plan.outputChannels != 3 || plan.outputHeight % probe != 0 ||
        plan.outputWidth != plan.outputHeight)
        throw EModelError("the model does not turn an RGB image into one enlarged by a whole "
                          "factor (it gives " +
                          std::to_string(plan.outputChannels) + " channels of " +
                          std::to_string(plan.outputWidth) + " x " +
                          std::to_string(plan.outputHeight) + " from 16 x 16)");
    scale_ = plan.outputHeight / probe;
}

TNetwork::~TNetwork() = default;

TNetwork::TPlan& TNetwork::planFor(int height, int width)
{
    if (state_->plan && state_->plan->height == height && state_->plan->width == width)
        return *state_->plan;
    state_->plan.reset();
    auto plan = std::make_unique<TPlan>();
    plan->cpuEngine = state_->cpu;
    plan->height = height;
    plan->width = width;
    TState& state = *state_;
    const TNcnnModel& model = state.model;
    // Only convolutions choose the type; the other layers keep what they are given.
    const Type convolutionType = precision_ == TPrecision::Bfloat16 ? Type::bf16 : Type::f32;

    // Which value each blob is, and how many layers read each value.
    std::vector<int> valueOf(model.blobs.size(), -1);
    std::vector<int> readerOf(model.blobs.size(), -1);
    for (std::size_t l = 0; l < model.layers.size(); ++l) {
        for (int blob : model.layers[l].inputs)
            readerOf[std::size_t(blob)] = int(l);
    }
    plan->values.push_back({plainDesc(3, height, width), -1, 0, {}});
    plan->input = 0;
    valueOf[std::size_t(model.input)] = 0;

    const auto give = [&](int blob, int value) {
        valueOf[std::size_t(blob)] = value;
        if (readerOf[std::size_t(blob)] >= 0)
            ++plan->values[std::size_t(value)].readers;
    };
    plan->values[0].readers = readerOf[std::size_t(model.input)] >= 0 ? 1 : 0;

    std::vector<bool> fusedSums(model.layers.size(), false);
    std::vector<bool> prescaled(model.blobs.size(), false); // weight already in the convolution
    for (std::size_t l = 0; l < model.layers.size(); ++l) {
        const TModelLayer& layer = model.layers[l];
        if (layer.type == "Input" || fusedSums[l])
            continue;
        const TLayerParams& params = layer.params;
        std::vector<int> in;
        for (int blob : layer.inputs)
            in.push_back(valueOf[std::size_t(blob)]);
        const auto needInputs = [&](std::size_t count) {
            if (in.size() != count || layer.outputs.size() != 1)
                refuse(layer, "needs " + std::to_string(count) + " input blob(s) and one output");
        };
        // Concat and sum take every input as one of their many sources.
        const auto addManySourceStep = [&](dnnl::primitive primitive,
                                           const memory::desc& destination) {
            const int result = plan->NewValue(destination);
            TStep step;
            step.primitive = std::move(primitive);
            for (std::size_t i = 0; i < in.size(); ++i)
                step.args.push_back({DNNL_ARG_MULTIPLE_SRC + int(i), in[i]});
            step.args.push_back({DNNL_ARG_DST, result});
            plan->steps.push_back(std::move(step));
            give(layer.outputs[0], result);
            for (int value : in)
                plan->Read(value);
        };

        if (layer.type == "Split") {
            if (in.size() != 1)
                refuse(layer, "needs one input blob");
            for (int blob : layer.outputs)
                give(blob, in[0]);
            plan->Read(in[0]);
            continue;
        }

        if (layer.type == "Convolution") {
            needInputs(1);
            const TBlobShape source = shapeOf(plan->values[std::size_t(in[0])].desc);
            const int outputs = params.Int(0, 0);
            const int kernelW = params.Int(1, 0);
            const int kernelH = params.Int(11, kernelW);
            const int dilationW = params.Int(2, 1);
            const int dilationH = params.Int(12, dilationW);
            const int strideW = params.Int(3, 1);
            const int strideH = params.Int(13, strideW);
            const int padLeft = params.Int(4, 0);
            const int padTop = params.Int(14, padLeft);
            const int padRight = params.Int(15, padLeft);
            const int padBottom = params.Int(16, padTop);
            if (params.Int(8, 0) != 0)
                refuse(layer, "int8 weights (8=) are not supported");
            if (params.Int(19, 0) != 0)
                refuse(layer, "weights given as a blob (19=) are not supported");
            if (params.Float(18, 0.f) != 0.f)
                refuse(layer, "a padding value other than 0 (18=) is not supported");
            if (kernelW <= 0 || kernelH <= 0 || dilationW <= 0 || dilationH <= 0 || strideW <= 0 ||
                strideH <= 0)
                refuse(layer, "kernel, dilation and stride must be positive");
            if (padLeft < 0 || padTop < 0 || padRight < 0 || padBottom < 0)
                refuse(layer, "automatic padding (negative 4=, 14=, 15=, 16=) is not supported");
            const std::size_t weightCount = layer.weights[0].size();
            if (weightCount != std::size_t(outputs) * std::size_t(source.channels) *
                                   std::size_t(kernelW) * std::size_t(kernelH))
                refuse(layer, "6=" + std::to_string(weightCount) + " weights do not fit " +
                                  std::to_string(source.channels) + " input channels");
            const int outH =
                (source.height + padTop + padBottom - dilationH * (kernelH - 1) - 1) / strideH + 1;
            const int outW =
                (source.width + padLeft + padRight - dilationW * (kernelW - 1) - 1) / strideW + 1;
            if (outH <= 0 || outW <= 0)
                refuse(layer, "the tile is smaller than the kernel");

            dnnl::post_ops postOps;
            switch (const int activation = params.Int(9, 0)) {
            case 0:
                break;
            case 1:
            case 2: {
                const std::vector<float> slope = params.Floats(-23310);
                postOps.append_eltwise(1.f, dnnl::algorithm::eltwise_relu,
                                       activation == 2 && !slope.empty() ? slope[0] : 0.f, 0.f);
                break;
            }
            case 3: {
                const std::vector<float> range = params.Floats(-23310);
                if (range.size() != 2)
                    refuse(layer, "clip activation needs -23310=2,min,max");
                postOps.append_eltwise(1.f, dnnl::algorithm::eltwise_clip, range[0], range[1]);
                break;
            }
            case 4:
                postOps.append_eltwise(1.f, dnnl::algorithm::eltwise_logistic, 0.f, 0.f);
                break;
            default:
                refuse(layer, "activation 9=" + std::to_string(activation) + " is not supported");
            }
            const std::optional<TSumAfter> sum = sumAfter(model, readerOf, l);
            const float weightScale = sum ? sum->scale : 1.f;
            const int addend = sum ? valueOf[std::size_t(sum->otherBlob)] : -1;
            const int addendPostOp = postOps.len();
            const auto attributesWith = [&](bool fuse) {
                dnnl::post_ops ops = postOps;
                if (fuse)
                    ops.append_binary(dnnl::algorithm::binary_add,
                                      plan->values[std::size_t(addend)].desc);
                dnnl::primitive_attr attributes;
                attributes.set_post_ops(ops);
                return attributes;
            };

            const bool biased = layer.weights.size() > 1;
            const memory::desc weightsAny({outputs, source.channels, kernelH, kernelW},
                                          convolutionType, Tag::any);
            const memory::desc biasDesc({outputs}, Type::f32, Tag::a);
            const auto describe = [&](const memory::desc& weights) {
                const dnnl::algorithm algorithm = dnnl::algorithm::convolution_direct;
                const memory::dims strides{strideH, strideW};
                const memory::dims dilations{dilationH - 1, dilationW - 1};
                const memory::dims padL{padTop, padLeft};
                const memory::dims padR{padBottom, padRight};
                const memory::desc src({1, source.channels, source.height, source.width},
                                       convolutionType, Tag::any);
                const memory::desc dst({1, outputs, outH, outW}, convolutionType, Tag::any);
                return biased ? dnnl::convolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                                algorithm, src, weights, biasDesc,
                                                                dst, strides, dilations, padL, padR)
                              : dnnl::convolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                                algorithm, src, weights, dst,
                                                                strides, dilations, padL, padR);
            };
            // The weights were reordered for the first tile size; later sizes take that layout
            // unless oneDNN has no kernel for it.
            auto stored = state.weights.find(l);
            using TDescribed = dnnl::convolution_forward::primitive_desc;
            const auto tryDescribe = [&](const dnnl::primitive_attr& attributes) {
                std::optional<TDescribed> described;
                for (const bool storedLayout : {true, false}) {
                    if (storedLayout && stored == state.weights.end())
                        continue;
                    try {
                        described.emplace(
                            describe(storedLayout ? stored->second.weights.get_desc() : weightsAny),
                            attributes, state.cpu);
                        break;
                    } catch (const dnnl::error&) {
                    }
                }
                return described;
            };
            // Fused only where the same kernel takes the addition; a slower kernel would cost
            // more than the pass it saves.
            std::optional<TDescribed> described = tryDescribe(attributesWith(false));
            if (!described)
                refuse(layer, "oneDNN has no convolution for it");
            bool fused = false;
            if (addend >= 0) {
                std::optional<TDescribed> withSum = tryDescribe(attributesWith(true));
                if (withSum &&
                    std::string(withSum->impl_info_str()) == described->impl_info_str() &&
                    withSum->weights_desc() == described->weights_desc()) {
                    described = std::move(withSum);
                    fused = true;
                }
            }
            if (stored == state.weights.end() ||
                stored->second.weights.get_desc() != described->weights_desc()) {
                TConvolutionWeights reordered;
                const memory::desc plainWeights({outputs, source.channels, kernelH, kernelW},
                                                Type::f32, Tag::oihw);
                memory plain(plainWeights, state.cpu);
                auto* values = static_cast<float*>(plain.get_data_handle());
                for (std::size_t i = 0; i < weightCount; ++i)
                    values[i] = layer.weights[0][i] * weightScale;
                reordered.weights = memory(described->weights_desc(), state.cpu);
                dnnl::reorder(plain, reordered.weights)
                    .execute(state.stream, plain, reordered.weights);
                if (biased) {
                    reordered.bias = memory(biasDesc, state.cpu);
                    auto* bias = static_cast<float*>(reordered.bias.get_data_handle());
                    for (int o = 0; o < outputs; ++o)
                        bias[o] = layer.weights[1][std::size_t(o)] * weightScale;
                }
                state.stream.wait();
                state.weights.erase(l);
                stored = state.weights.emplace(l, reordered).first;
            }

            const int source0 = plan->InLayout(in[0], described->src_desc());
            const int result = plan->NewValue(described->dst_desc());
            TStep step;
            step.primitive = dnnl::convolution_forward(*described);
            step.args = {{DNNL_ARG_SRC, source0}, {DNNL_ARG_DST, result}};
            if (fused)
                step.args.push_back(
                    {DNNL_ARG_ATTR_MULTIPLE_POST_OP(addendPostOp) | DNNL_ARG_SRC_1, addend});
            step.fixedArgs = {{DNNL_ARG_WEIGHTS, stored->second.weights}};
            if (biased)
                step.fixedArgs.push_back({DNNL_ARG_BIAS, stored->second.bias});
            plan->steps.push_back(std::move(step));
            plan->convolutions.push_back(
                {source.channels, outputs, kernelW, source.height, source.width});
            if (source0 != in[0])
                plan->Read(source0);
            if (fused) {
                fusedSums[sum->layer] = true;
                give(model.layers[sum->layer].outputs[0], result);
                plan->Read(addend);
            } else {
                prescaled[std::size_t(layer.outputs[0])] = sum.has_value();
                give(layer.outputs[0], result);
            }
            plan->Read(in[0]);
            continue;
        }

        if (layer.type == "PReLU") {
            needInputs(1);
            const memory::desc source = plan->values[std::size_t(in[0])].desc;
            const TBlobShape shape = shapeOf(source);
            const memory slopes = state.slopes[l];
            const memory::dim count = slopes.get_desc().dims()[1];
            if (count != 1 && count != shape.channels)
                refuse(layer, std::to_string(count) + " slopes do not fit " +
                                  std::to_string(shape.channels) + " channels");
            const dnnl::prelu_forward::primitive_desc described(
                dnnl::prelu_forward::desc(dnnl::prop_kind::forward_inference, source,
                                          slopes.get_desc()),
                state.cpu);
            const int result = plan->NewValue(described.dst_desc());
            TStep step;
            step.primitive = dnnl::prelu_forward(described);
            step.args = {{DNNL_ARG_SRC, in[0]}, {DNNL_ARG_DST, result}};
            step.fixedArgs = {{DNNL_ARG_WEIGHTS, slopes}};
            plan->steps.push_back(std::move(step));
            give(layer.outputs[0], result);
            plan->Read(in[0]);
            continue;
        }

        if (layer.type == "Concat") {
            if (in.empty() || layer.outputs.size() != 1)
                refuse(layer, "needs input blobs and one output");
            if (params.Int(0, 0) != 0)
                refuse(layer, "only joining channels (0=0) is supported");
            std::vector<memory::desc> sources;
            for (int value : in)
                sources.push_back(plan->values[std::size_t(value)].desc);
            const TBlobShape first = shapeOf(sources[0]);
            for (const memory::desc& source : sources) {
                const TBlobShape shape = shapeOf(source);
                if (shape.height != first.height || shape.width != first.width)
                    refuse(layer, "its inputs differ in size");
            }
            const dnnl::concat::primitive_desc described(1, sources, state.cpu);
            addManySourceStep(dnnl::concat(described), described.dst_desc());
            continue;
        }

        if (layer.type == "Eltwise" || layer.type == "BinaryOp") {
            const bool scalar = layer.type == "BinaryOp" && params.Int(1, 0) != 0;
            if (layer.type == "BinaryOp")
                needInputs(scalar ? 1 : 2);
            else if (in.size() < 2 || layer.outputs.size() != 1)
                refuse(layer, "needs at least two input blobs and one output");
            const memory::desc first = plan->values[std::size_t(in[0])].desc;
            for (int value : in) {
                if (plan->values[std::size_t(value)].desc.dims() != first.dims())
                    refuse(layer, "its inputs differ in shape");
            }
            const int operation = params.Int(0, layer.type == "Eltwise" ? 1 : 0);
            if (layer.type == "Eltwise" && operation == 1) {
                std::vector<float> scales = params.Floats(-23301);
                if (scales.empty())
                    scales.assign(in.size(), 1.f);
                if (scales.size() != in.size())
                    refuse(layer, "has " + std::to_string(scales.size()) + " coefficients for " +
                                      std::to_string(in.size()) + " inputs");
                for (std::size_t i = 0; i < in.size(); ++i) {
                    if (prescaled[std::size_t(layer.inputs[i])])
                        scales[i] = 1.f;
                }
                std::vector<memory::desc> sources;
                for (int value : in)
                    sources.push_back(plan->values[std::size_t(value)].desc);
                const dnnl::sum::primitive_desc described(first, scales, sources, state.cpu);
                addManySourceStep(dnnl::sum(described), described.dst_desc());
                continue;
            }
            dnnl::algorithm algorithm;
            bool swapped = false;
            if (layer.type == "Eltwise") {
                if (operation != 0 && operation != 2)
                    refuse(layer, "operation 0=" + std::to_string(operation) + " is not supported");
                algorithm =
                    operation == 0 ? dnnl::algorithm::binary_mul : dnnl::algorithm::binary_max;
            } else {
                algorithm = binaryAlgorithm(layer, operation, swapped);
            }
            if (scalar) {
                // A tensor against one number is an elementwise function of the tensor.
                const float b = params.Float(2, 0.f);
                dnnl::algorithm function = dnnl::algorithm::eltwise_linear;
                float alpha = 1.f;
                float beta = 0.f;
                switch (operation) {
                case 0:
                    beta = b;
                    break;
                case 1:
                    beta = -b;
                    break;
                case 2:
                    alpha = b;
                    break;
                case 3:
                    alpha = 1.f / b;
                    break;
                case 4:
                    function = dnnl::algorithm::eltwise_clip;
                    alpha = b;
                    beta = std::numeric_limits<float>::max();
                    break;
                case 5:
                    function = dnnl::algorithm::eltwise_clip;
                    alpha = std::numeric_limits<float>::lowest();
                    beta = b;
                    break;
                case 7:
                    alpha = -1.f;
                    beta = b;
                    break;
                case 8:
                    function = dnnl::algorithm::eltwise_pow;
                    alpha = b;
                    beta = -1.f;
                    break;
                }
                const dnnl::eltwise_forward::primitive_desc described(
                    dnnl::eltwise_forward::desc(dnnl::prop_kind::forward_inference, function, first,
                                                alpha, beta),
                    state.cpu);
                const int result = plan->NewValue(described.dst_desc());
                TStep step;
                step.primitive = dnnl::eltwise_forward(described);
                step.args = {{DNNL_ARG_SRC, in[0]}, {DNNL_ARG_DST, result}};
                plan->steps.push_back(std::move(step));
                give(layer.outputs[0], result);
                plan->Read(in[0]);
                continue;
            }
            std::vector<int> operands = in;
            if (swapped)
                std::swap(operands[0], operands[1]);
            // A chain of pairs: the first step writes the result, the next ones update it.
            int result = -1;
            for (std::size_t p = 0; p + 1 < operands.size(); ++p) {
                const int left = result >= 0 ? result : operands[0];
                const memory::desc leftDesc = plan->values[std::size_t(left)].desc;
                const int right = plan->InLayout(operands[p + 1], leftDesc);
                const dnnl::binary::primitive_desc described(
                    dnnl::binary::desc(algorithm, leftDesc, leftDesc, leftDesc), state.cpu);
                if (result < 0)
                    result = plan->NewValue(leftDesc);
                TStep step;
                step.primitive = dnnl::binary(described);
                step.args = {
                    {DNNL_ARG_SRC_0, left}, {DNNL_ARG_SRC_1, right}, {DNNL_ARG_DST, result}};
                plan->steps.push_back(std::move(step));
                if (right != operands[p + 1])
                    plan->Read(right);
            }
            give(layer.outputs[0], result);
            for (int value : in)
                plan->Read(value);
            continue;
        }

        if (layer.type == "Interp") {
            needInputs(1);
            if (params.Int(0, 0) != 1)
                refuse(layer, "only nearest-neighbour resizing (0=1) is supported, not 0=" +
                                  std::to_string(params.Int(0, 0)));
            if (params.Int(3, 0) != 0 || params.Int(4, 0) != 0 || params.Int(5, 0) != 0)
                refuse(layer, "only resizing by a factor (1=, 2=) is supported");
            const memory::desc source = plan->values[std::size_t(in[0])].desc;
            const TBlobShape shape = shapeOf(source);
            const float scaleH = params.Float(1, 1.f);
            const float scaleW = params.Float(2, 1.f);
            const int outH = int(float(shape.height) * scaleH);
            const int outW = int(float(shape.width) * scaleW);
            if (outH <= 0 || outW <= 0)
                refuse(layer, "its factors give an empty image");
            const dnnl::resampling_forward::primitive_desc described(
                dnnl::resampling_forward::desc(
                    dnnl::prop_kind::forward_inference, dnnl::algorithm::resampling_nearest, source,
                    memory::desc({1, shape.channels, outH, outW}, source.data_type(), Tag::any)),
                state.cpu);
            const int result = plan->NewValue(described.dst_desc());
            TStep step;
            step.primitive = dnnl::resampling_forward(described);
            step.args = {{DNNL_ARG_SRC, in[0]}, {DNNL_ARG_DST, result}};
            plan->steps.push_back(std::move(step));
            give(layer.outputs[0], result);
            plan->Read(in[0]);
            continue;
        }

        if (layer.type == "PixelShuffle") {
            needInputs(1);
            const int factor = params.Int(0, 1);
            if (params.Int(1, 0) != 0)
                refuse(layer, "only the channel order of mode 1=0 is supported");
            const TBlobShape shape = shapeOf(plan->values[std::size_t(in[0])].desc);
            if (factor <= 0 || shape.channels % (factor * factor) != 0)
                refuse(layer, std::to_string(shape.channels) + " channels cannot be shuffled by " +
                                  std::to_string(factor));
            const int plainInput =
                plan->InLayout(in[0], plainDesc(shape.channels, shape.height, shape.width));
            const int channels = shape.channels / (factor * factor);
            const int result =
                plan->NewValue(plainDesc(channels, shape.height * factor, shape.width * factor));
            TStep step;
            TPlan* owner = plan.get();
            step.custom = [owner, plainInput, result, channels, factor, shape] {
                const auto* from = static_cast<const float*>(
                    owner->values[std::size_t(plainInput)].object.get_data_handle());
                auto* to = static_cast<float*>(
                    owner->values[std::size_t(result)].object.get_data_handle());
                const std::size_t outW = std::size_t(shape.width) * std::size_t(factor);
                const std::size_t outH = std::size_t(shape.height) * std::size_t(factor);
                for (int c = 0; c < channels; ++c) {
                    for (std::size_t y = 0; y < outH; ++y) {
                        const std::size_t i = y % std::size_t(factor);
                        float* row = to + (std::size_t(c) * outH + y) * outW;
                        for (std::size_t x = 0; x < outW; ++x) {
                            const std::size_t j = x % std::size_t(factor);
                            const std::size_t plane =
                                std::size_t(c) * std::size_t(factor * factor) +
                                i * std::size_t(factor) + j;
                            row[x] =
                                from[(plane * std::size_t(shape.height) + y / std::size_t(factor)) *
                                         std::size_t(shape.width) +
                                     x / std::size_t(factor)];
                        }
                    }
                }
            };
            plan->steps.push_back(std::move(step));
            if (plainInput != in[0])
                plan->Read(plainInput);
            give(layer.outputs[0], result);
            plan->Read(in[0]);
            continue;
        }

        refuse(layer, "this layer type is not supported");
    }

    const int last = valueOf[std::size_t(model.output)];
    const TBlobShape shape = shapeOf(plan->values[std::size_t(last)].desc);
    plan->outputChannels = shape.channels;
    plan->outputHeight = shape.height;
    plan->outputWidth = shape.width;
    const int output = int(plan->values.size());
    plan->values.push_back({plainDesc(shape.channels, shape.height, shape.width), -1, 0, {}});
    {
        TStep step;
        step.primitive = dnnl::reorder(
            dnnl::reorder::primitive_desc(state.cpu, plan->values[std::size_t(last)].desc,
                                          state.cpu, plan->values[std::size_t(output)].desc));
        step.args = {{DNNL_ARG_FROM, last}, {DNNL_ARG_TO, output}};
        plan->steps.push_back(std::move(step));
    }
    plan->output = output;

    for (std::size_t bytes : plan->slotBytes)
        plan->buffers.push_back(allocate(bytes));
    for (TValue& value : plan->values) {
        value.object = value.slot >= 0 ? memory(value.desc, state.cpu,
                                                plan->buffers[std::size_t(value.slot)].get())
                                       : memory(value.desc, state.cpu, DNNL_MEMORY_NONE);
    }
    for (TStep& step : plan->steps) {
        if (step.custom)
            continue;
        for (const auto& [arg, value] : step.args)
            step.bound[arg] = plan->values[std::size_t(value)].object;
        for (const auto& [arg, object] : step.fixedArgs)
            step.bound[arg] = object;
    }
    state_->plan = std::move(plan);
    return *state_->plan;
}

void TNetwork::Run(int height, int width, const float* input, float* output)
{
    TPlan& plan = planFor(height, width);
    plan.values[std::size_t(plan.input)].object.set_data_handle(const_cast<float*>(input));
    plan.values[std::size_t(plan.output)].object.set_data_handle(output);
    for (TStep& step : plan.steps) {
        if (step.custom) {
            step.custom();
            continue;
        }
        step.primitive->execute(state_->stream, step.bound);
    }
    state_->stream.wait();
}

std::size_t TNetwork::WorkspaceBytes(int height, int width)
{
    return planFor(height, width).Bytes();
}

std::vector<TNetwork::TConvolutionShape> TNetwork::ConvolutionShapes(int height, int width)
{
    return planFor(height, width).convolutions;
}

} // namespace engine
