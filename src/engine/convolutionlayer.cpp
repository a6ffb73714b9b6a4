// Convolution: oneDNN's kernel with bias and activation fused, weights reordered once, and the
// sums that follow it folded into the same pass where the kernel takes them.
#include "networkplan.h"

namespace engine
{

namespace
{

// A weighted sum of two blobs that alone reads the result before it: the result at `scale`,
// the other blob at weight 1.
struct TSumAfter {
    std::size_t layer;
    float scale;
    int otherBlob;
};

std::optional<TSumAfter> sumReading(const TNcnnModel& model, const std::vector<int>& readerOf,
                                    int blob)
{
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

// The sums that follow a convolution without an activation, one reading the other's result,
// as in a residual block inside a residual block (at most two: deeper chains are not seen in
// the models). The first sum's weight goes into the convolution's weights.
std::vector<TSumAfter> sumsAfter(const TNcnnModel& model, const std::vector<int>& readerOf,
                                 std::size_t convolution)
{
    const TModelLayer& layer = model.layers[convolution];
    std::vector<TSumAfter> sums;
    if (layer.params.Int(9, 0) != 0 || layer.outputs.size() != 1)
        return sums;
    int blob = layer.outputs[0];
    while (sums.size() < 2) {
        const std::optional<TSumAfter> sum = sumReading(model, readerOf, blob);
        if (!sum)
            break;
        sums.push_back(*sum);
        blob = model.layers[sum->layer].outputs[0];
    }
    return sums;
}

void appendActivation(const TModelLayer& layer, dnnl::post_ops& postOps)
{
    const TLayerParams& params = layer.params;
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
            Refuse(layer, "clip activation needs -23310=2,min,max");
        postOps.append_eltwise(1.f, dnnl::algorithm::eltwise_clip, range[0], range[1]);
        break;
    }
    case 4:
        postOps.append_eltwise(1.f, dnnl::algorithm::eltwise_logistic, 0.f, 0.f);
        break;
    default:
        Refuse(layer, "activation 9=" + std::to_string(activation) + " is not supported");
    }
}

} // namespace

void BuildConvolution(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    TNetworkState& state = builder.state;
    TNetworkPlan& plan = builder.plan;
    const TNcnnModel& model = builder.Model();
    const TModelLayer& layer = model.layers[l];
    const TLayerParams& params = layer.params;
    NeedInputs(layer, in, 1);
    const TBlobShape source = ShapeOf(builder.DescOf(in[0]));
    const int outputs = params.Int(0, 0);
    const int kernelW = params.Int(1, 0);
    const int kernelH = params.Int(11, kernelW);
    const int dilationW = params.Int(2, 1);
    const int dilationH = params.Int(12, dilationW);
    const int strideW = params.Int(3, 1);
    const int strideH = params.Int(13, strideW);
    const int givenLeft = params.Int(4, 0);
    const int givenTop = params.Int(14, givenLeft);
    const int givenRight = params.Int(15, givenLeft);
    const int givenBottom = params.Int(16, givenTop);
    if (params.Int(8, 0) != 0)
        Refuse(layer, "int8 weights (8=) are not supported");
    if (params.Int(19, 0) != 0)
        Refuse(layer, "weights given as a blob (19=) are not supported");
    if (params.Float(18, 0.f) != 0.f)
        Refuse(layer, "a padding value other than 0 (18=) is not supported");
    if (kernelW <= 0 || kernelH <= 0 || dilationW <= 0 || dilationH <= 0 || strideW <= 0 ||
        strideH <= 0)
        Refuse(layer, "kernel, dilation and stride must be positive");
    if (givenLeft < 0 || givenTop < 0 || givenRight < 0 || givenBottom < 0)
        Refuse(layer, "automatic padding (negative 4=, 14=, 15=, 16=) is not supported");
    const std::size_t weightCount = layer.weights[0].size();
    if (weightCount != std::size_t(outputs) * std::size_t(source.channels) * std::size_t(kernelW) *
                           std::size_t(kernelH))
        Refuse(layer, "6=" + std::to_string(weightCount) + " weights do not fit " +
                          std::to_string(source.channels) + " input channels");
    std::vector<TSumAfter> sums = sumsAfter(model, builder.readerOf, l);
    // A sum can be taken only when its other blob is computed before the convolution runs.
    for (std::size_t s = 0; s < sums.size(); ++s) {
        if (builder.valueOf[std::size_t(sums[s].otherBlob)] < 0) {
            sums.resize(s);
            break;
        }
    }
    // The first sum's weight is inside the weights that every tile size shares, fused or not.
    const float weightScale = sums.empty() ? 1.f : sums[0].scale;
    const bool weighted = !sums.empty();
    const auto addendMargin = [&](const TSumAfter& sum) {
        return builder.MarginOf(builder.valueOf[std::size_t(sum.otherBlob)]);
    };

    // Where the readers need less of the border than the input has, the convolution leaves out
    // the ring they do not read: it pads less, or not at all where the input itself was cut
    // short (zeros there would stand for pixels that the whole tile has).
    const int radius = SameConvolutionRadius(params);
    const int marginIn = builder.MarginOf(in[0]);
    const bool shrinkable = radius >= 0 && marginIn >= 0;
    int padding = radius;
    if (shrinkable) {
        if (marginIn < builder.FullMarginOf(in[0]))
            padding = 0;
        else
            padding = std::clamp(builder.NeededOf(layer.outputs[0], marginIn) - (marginIn - radius),
                                 0, radius);
        // Keeping the size lets a sum with an uncut blob be fused, which saves a whole pass.
        if (padding < radius && !sums.empty() && addendMargin(sums[0]) == marginIn &&
            marginIn == builder.FullMarginOf(in[0]))
            padding = radius;
    }
    const int marginOut = shrinkable ? marginIn - radius + padding : -1;
    for (std::size_t s = 0; s < sums.size() && marginOut >= 0; ++s) {
        if (addendMargin(sums[s]) != marginOut) {
            sums.resize(s);
            break;
        }
    }
    const int padLeft = shrinkable ? padding : givenLeft;
    const int padTop = shrinkable ? padding : givenTop;
    const int padRight = shrinkable ? padding : givenRight;
    const int padBottom = shrinkable ? padding : givenBottom;
    const int outH =
        (source.height + padTop + padBottom - dilationH * (kernelH - 1) - 1) / strideH + 1;
    const int outW =
        (source.width + padLeft + padRight - dilationW * (kernelW - 1) - 1) / strideW + 1;
    if (outH <= 0 || outW <= 0)
        Refuse(layer, "the tile is smaller than the kernel");

    // The post-ops with the first `fused` sums added after the activation; returns the post-op
    // index that takes each sum's other blob.
    std::vector<int> addendIndex;
    const auto attributesWith = [&](std::size_t fused) {
        // post_ops is a handle: a copy would share its list, so each try builds its own.
        dnnl::post_ops ops;
        appendActivation(layer, ops);
        addendIndex.clear();
        for (std::size_t s = 0; s < fused; ++s) {
            if (s > 0)
                ops.append_eltwise(1.f, dnnl::algorithm::eltwise_linear, sums[s].scale, 0.f);
            addendIndex.push_back(ops.len());
            ops.append_binary(dnnl::algorithm::binary_add,
                              builder.DescOf(builder.valueOf[std::size_t(sums[s].otherBlob)]));
        }
        dnnl::primitive_attr attributes;
        attributes.set_post_ops(ops);
        return attributes;
    };
    // The blob the step writes: the last fused sum's result, or the convolution's own.
    const auto resultBlob = [&](std::size_t fused) {
        return fused == 0 ? layer.outputs[0] : model.layers[sums[fused - 1].layer].outputs[0];
    };

    const Type type = builder.ConvolutionType();
    const bool biased = layer.weights.size() > 1;
    const memory::desc weightsAny({outputs, source.channels, kernelH, kernelW}, type, Tag::any);
    const memory::desc biasDesc({outputs}, Type::f32, Tag::a);
    // A blob inside a Concat's buffer is read and written in the blocked layout that lets the
    // Concat cost nothing; elsewhere oneDNN picks. One layout for every choice of fused sums,
    // so that the kernels compared are the same.
    const bool blockedSource = builder.InRegion(in[0]);
    bool blockedResult = false;
    for (std::size_t fused = 0; fused <= sums.size(); ++fused)
        blockedResult = blockedResult || builder.Placed(resultBlob(fused));
    const auto describe = [&](const memory::desc& weights) {
        const memory::desc src =
            blockedSource
                ? builder.BlockedDesc(source.channels, source.height, source.width)
                : memory::desc({1, source.channels, source.height, source.width}, type, Tag::any);
        const memory::desc dst = blockedResult
                                     ? builder.BlockedDesc(outputs, outH, outW)
                                     : memory::desc({1, outputs, outH, outW}, type, Tag::any);
        const dnnl::algorithm algorithm = dnnl::algorithm::convolution_direct;
        const memory::dims strides{strideH, strideW};
        const memory::dims dilations{dilationH - 1, dilationW - 1};
        const memory::dims padL{padTop, padLeft};
        const memory::dims padR{padBottom, padRight};
        return biased ? dnnl::convolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                        algorithm, src, weights, biasDesc, dst,
                                                        strides, dilations, padL, padR)
                      : dnnl::convolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                        algorithm, src, weights, dst, strides,
                                                        dilations, padL, padR);
    };
    // The weights were reordered for the first tile size; later sizes take that layout unless
    // oneDNN has no kernel for it.
    auto stored = state.weights.find(l);
    using TDescribed = dnnl::convolution_forward::primitive_desc;
    const auto tryDescribe = [&](std::size_t fused) {
        std::optional<TDescribed> described;
        const dnnl::primitive_attr attributes = attributesWith(fused);
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
    std::optional<TDescribed> described = tryDescribe(0);
    if (!described)
        Refuse(layer, "oneDNN has no convolution for it");
    // Sums are fused only where the same kernel takes them; a slower kernel would cost more
    // than the pass it saves.
    std::size_t fused = 0;
    for (std::size_t count = sums.size(); count > 0 && fused == 0; --count) {
        std::optional<TDescribed> withSums = tryDescribe(count);
        if (withSums && std::string(withSums->impl_info_str()) == described->impl_info_str() &&
            withSums->weights_desc() == described->weights_desc()) {
            described = std::move(withSums);
            fused = count;
        }
    }
    attributesWith(fused); // addendIndex for the sums taken
    if (stored == state.weights.end() ||
        stored->second.weights.get_desc() != described->weights_desc()) {
        TConvolutionWeights reordered;
        const memory::desc plainWeights({outputs, source.channels, kernelH, kernelW}, Type::f32,
                                        Tag::oihw);
        memory plain(plainWeights, state.cpu);
        auto* values = static_cast<float*>(plain.get_data_handle());
        for (std::size_t i = 0; i < weightCount; ++i)
            values[i] = layer.weights[0][i] * weightScale;
        reordered.weights = memory(described->weights_desc(), state.cpu);
        dnnl::reorder(plain, reordered.weights).execute(state.stream, plain, reordered.weights);
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

    const int source0 = plan.InLayout(in[0], described->src_desc());
    const int written = resultBlob(fused);
    const int result = builder.ValueFor(written, described->dst_desc());
    TStep step;
    step.primitive = dnnl::convolution_forward(*described);
    step.args = {{DNNL_ARG_SRC, source0}, {DNNL_ARG_DST, result}};
    for (std::size_t s = 0; s < fused; ++s)
        step.args.push_back({DNNL_ARG_ATTR_MULTIPLE_POST_OP(addendIndex[s]) | DNNL_ARG_SRC_1,
                             builder.valueOf[std::size_t(sums[s].otherBlob)]});
    step.fixedArgs = {{DNNL_ARG_WEIGHTS, stored->second.weights}};
    if (biased)
        step.fixedArgs.push_back({DNNL_ARG_BIAS, stored->second.bias});
    plan.steps.push_back(std::move(step));
    plan.convolutions.push_back({source.channels, outputs, kernelW, outH, outW});
    builder.SetMargin(result, marginOut, shrinkable ? builder.FullMarginOf(in[0]) : -1);
    if (source0 != in[0])
        plan.Read(source0);
    for (std::size_t s = 0; s < fused; ++s)
        builder.computed[sums[s].layer] = true;
    // Not fused, the first sum still finds its weight inside the convolution.
    if (fused == 0 && weighted)
        builder.prescaled[std::size_t(layer.outputs[0])] = true;
    builder.Give(written, result);
    for (std::size_t s = 0; s < fused; ++s)
        plan.Read(builder.valueOf[std::size_t(sums[s].otherBlob)]);
    plan.Read(in[0]);
}

} // namespace engine
