// Element-wise layers: sums, products and the other two-operand operations, operations with a
// number, and PReLU.
#include "networkplan.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <omp.h>

namespace engine
{

namespace
{

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
        Refuse(layer, "operation 0=" + std::to_string(operation) + " is not supported");
    }
}

// Always inlined, so that the loop compiled for wide vectors vectorizes them too.
[[gnu::always_inline]] inline float preluOf(float value, float slope)
{
    return value < 0.f ? value * slope : value;
}

// bf16 is the top half of an fp32; results are rounded to nearest, ties to even, as oneDNN
// rounds.
[[gnu::always_inline]] inline std::uint16_t preluOf(std::uint16_t half, float slope)
{
    const std::uint32_t bits = std::uint32_t(half) << 16;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    value = preluOf(value, slope);
    std::uint32_t result;
    std::memcpy(&result, &value, sizeof result);
    result += 0x7fffu + ((result >> 16) & 1u);
    return std::uint16_t(result >> 16);
}

template <typename T>
void preluRange(T* __restrict data, std::size_t from, std::size_t to, std::size_t channels,
                const float* __restrict slope)
{
    for (std::size_t p = from; p < to; ++p) {
        T* __restrict pixel = data + p * channels;
        for (std::size_t c = 0; c < channels; ++c)
            pixel[c] = preluOf(pixel[c], slope[c]);
    }
}

// The same loop compiled for the wide vectors of the processors that run bf16 natively.
template <typename T>
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
preluRangeWide(T* __restrict data, std::size_t from, std::size_t to, std::size_t channels,
               const float* __restrict slope)
{
    for (std::size_t p = from; p < to; ++p) {
        T* __restrict pixel = data + p * channels;
        for (std::size_t c = 0; c < channels; ++c)
            pixel[c] = preluOf(pixel[c], slope[c]);
    }
}

template <typename T>
void preluInPlace(T* data, std::size_t pixels, const std::vector<float>& slopes)
{
    static const bool wide =
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    const std::size_t channels = slopes.size();
    const float* slope = slopes.data();
#pragma omp parallel
    {
        const std::size_t threads = std::size_t(omp_get_num_threads());
        const std::size_t thread = std::size_t(omp_get_thread_num());
        const std::size_t from = pixels * thread / threads;
        const std::size_t to = pixels * (thread + 1) / threads;
        if (wide)
            preluRangeWide(data, from, to, channels, slope);
        else
            preluRange(data, from, to, channels, slope);
    }
}

// Reads nothing of its inputs: the caller counts them read.
void buildElementwise(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    TNetworkPlan& plan = builder.plan;
    const TModelLayer& layer = builder.Model().layers[l];
    const TLayerParams& params = layer.params;
    const bool scalar = layer.type == "BinaryOp" && params.Int(1, 0) != 0;
    if (layer.type == "BinaryOp")
        NeedInputs(layer, in, scalar ? 1 : 2);
    else if (in.size() < 2 || layer.outputs.size() != 1)
        Refuse(layer, "needs at least two input blobs and one output");
    const memory::desc first = builder.DescOf(in[0]);
    for (int value : in) {
        if (builder.DescOf(value).dims() != first.dims())
            Refuse(layer, "its inputs differ in shape");
    }
    const int operation = params.Int(0, layer.type == "Eltwise" ? 1 : 0);
    if (layer.type == "Eltwise" && operation == 1) {
        std::vector<float> scales = params.Floats(-23301);
        if (scales.empty())
            scales.assign(in.size(), 1.f);
        if (scales.size() != in.size())
            Refuse(layer, "has " + std::to_string(scales.size()) + " coefficients for " +
                              std::to_string(in.size()) + " inputs");
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (builder.prescaled[std::size_t(layer.inputs[i])])
                scales[i] = 1.f;
        }
        std::vector<memory::desc> sources;
        for (int value : in)
            sources.push_back(builder.DescOf(value));
        // A sum inside a Concat's buffer writes there, in that buffer's layout.
        const TBlobShape shape = ShapeOf(first);
        const memory::desc destination =
            builder.Placed(layer.outputs[0])
                ? builder.BlockedDesc(shape.channels, shape.height, shape.width)
                : first;
        const dnnl::sum::primitive_desc described(destination, scales, sources, builder.state.cpu);
        const int result = builder.ValueFor(layer.outputs[0], described.dst_desc());
        TStep step;
        step.primitive = dnnl::sum(described);
        for (std::size_t i = 0; i < in.size(); ++i)
            step.args.push_back({DNNL_ARG_MULTIPLE_SRC + int(i), in[i]});
        step.args.push_back({DNNL_ARG_DST, result});
        plan.steps.push_back(std::move(step));
        builder.Give(layer.outputs[0], result);
        return;
    }
    dnnl::algorithm algorithm;
    bool swapped = false;
    if (layer.type == "Eltwise") {
        if (operation != 0 && operation != 2)
            Refuse(layer, "operation 0=" + std::to_string(operation) + " is not supported");
        algorithm = operation == 0 ? dnnl::algorithm::binary_mul : dnnl::algorithm::binary_max;
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
            dnnl::eltwise_forward::desc(dnnl::prop_kind::forward_inference, function, first, alpha,
                                        beta),
            builder.state.cpu);
        const int result = plan.NewValue(described.dst_desc());
        TStep step;
        step.primitive = dnnl::eltwise_forward(described);
        step.args = {{DNNL_ARG_SRC, in[0]}, {DNNL_ARG_DST, result}};
        plan.steps.push_back(std::move(step));
        builder.Give(layer.outputs[0], result);
        return;
    }
    std::vector<int> operands = in;
    if (swapped)
        std::swap(operands[0], operands[1]);
    // A chain of pairs: the first step writes the result, the next ones update it.
    int result = -1;
    for (std::size_t p = 0; p + 1 < operands.size(); ++p) {
        const int left = result >= 0 ? result : operands[0];
        const memory::desc leftDesc = builder.DescOf(left);
        const int right = plan.InLayout(operands[p + 1], leftDesc);
        const dnnl::binary::primitive_desc described(
            dnnl::binary::desc(algorithm, leftDesc, leftDesc, leftDesc), builder.state.cpu);
        if (result < 0)
            result = plan.NewValue(leftDesc);
        TStep step;
        step.primitive = dnnl::binary(described);
        step.args = {{DNNL_ARG_SRC_0, left}, {DNNL_ARG_SRC_1, right}, {DNNL_ARG_DST, result}};
        plan.steps.push_back(std::move(step));
        if (right != operands[p + 1])
            plan.Read(right);
    }
    builder.Give(layer.outputs[0], result);
}

} // namespace

void PreluInPlace(float* data, std::size_t pixels, const std::vector<float>& slopes)
{
    preluInPlace(data, pixels, slopes);
}

void PreluInPlace(std::uint16_t* data, std::size_t pixels, const std::vector<float>& slopes)
{
    preluInPlace(data, pixels, slopes);
}

void BuildElementwise(TPlanBuilder& builder, std::size_t l, const std::vector<int>& original)
{
    TNetworkPlan& plan = builder.plan;
    const TModelLayer& layer = builder.Model().layers[l];
    // Its operands meet in the margin they all have, no wider than its readers need.
    int margin = WholeMargin;
    for (int value : original)
        margin = std::min(margin, builder.MarginOf(value));
    std::vector<int> in = original;
    if (margin >= 0 && !original.empty() && layer.outputs.size() == 1) {
        margin = builder.NeededOf(layer.outputs[0], margin);
        for (int& value : in)
            value = plan.InMargin(value, margin);
    }
    buildElementwise(builder, l, in);
    builder.SetMargin(builder.valueOf[std::size_t(layer.outputs[0])], builder.MarginOf(in[0]),
                      builder.FullMarginOf(in[0]));
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != original[i])
            plan.Read(in[i]);
    }
    for (int value : original)
        plan.Read(value);
}

void BuildPrelu(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    TNetworkPlan& plan = builder.plan;
    const TModelLayer& layer = builder.Model().layers[l];
    NeedInputs(layer, in, 1);
    const memory::desc source = builder.DescOf(in[0]);
    const TBlobShape shape = ShapeOf(source);
    const memory slopes = builder.state.slopes[l];
    const memory::dim count = slopes.get_desc().dims()[1];
    if (count != 1 && count != shape.channels)
        Refuse(layer, std::to_string(count) + " slopes do not fit " +
                          std::to_string(shape.channels) + " channels");

    // oneDNN fuses PReLU into a convolution only with its reference kernel, and its own pass
    // reads and writes a second buffer; after a convolution that picked channels-last, one
    // pass in place over the result that is still in cache costs far less.
    const bool channelsLast = source == memory::desc({1, shape.channels, shape.height, shape.width},
                                                     source.data_type(), Tag::nhwc);
    const bool onlyReader = plan.values[std::size_t(in[0])].readers == 1 &&
                            !plan.values[std::size_t(in[0])].placed && in[0] != plan.input;
    if (channelsLast && onlyReader &&
        (source.data_type() == Type::bf16 || source.data_type() == Type::f32)) {
        TStep step;
        TNetworkPlan* owner = &plan;
        const int value = in[0];
        const auto* perChannel = static_cast<const float*>(slopes.get_data_handle());
        std::vector<float> channelSlopes(std::size_t(shape.channels));
        for (int c = 0; c < shape.channels; ++c)
            channelSlopes[std::size_t(c)] = perChannel[count == 1 ? 0 : c];
        const std::size_t pixels = std::size_t(shape.height) * std::size_t(shape.width);
        const bool half = source.data_type() == Type::bf16;
        step.custom = [owner, value, channelSlopes, pixels, half] {
            void* data = owner->values[std::size_t(value)].object.get_data_handle();
            if (half)
                PreluInPlace(static_cast<std::uint16_t*>(data), pixels, channelSlopes);
            else
                PreluInPlace(static_cast<float*>(data), pixels, channelSlopes);
        };
        plan.steps.push_back(std::move(step));
        builder.Give(layer.outputs[0], value);
        plan.Read(value);
        return;
    }

    const dnnl::prelu_forward::primitive_desc described(
        dnnl::prelu_forward::desc(dnnl::prop_kind::forward_inference, source, slopes.get_desc()),
        builder.state.cpu);
    const int result = plan.NewValue(described.dst_desc());
    builder.SetMargin(result, builder.MarginOf(in[0]), builder.FullMarginOf(in[0]));
    TStep step;
    step.primitive = dnnl::prelu_forward(described);
    step.args = {{DNNL_ARG_SRC, in[0]}, {DNNL_ARG_DST, result}};
    step.fixedArgs = {{DNNL_ARG_WEIGHTS, slopes}};
    plan.steps.push_back(std::move(step));
    builder.Give(layer.outputs[0], result);
    plan.Read(in[0]);
}

} // namespace engine
