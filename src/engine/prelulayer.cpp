// PReLU: a slope per channel for the values below zero, in place over a convolution's
// channels-last result where it can be.
#include "networkplan.h"

#include <cstdint>
#include <cstring>
#include <omp.h>

namespace engine
{

namespace
{

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

} // namespace

void PreluInPlace(float* data, std::size_t pixels, const std::vector<float>& slopes)
{
    preluInPlace(data, pixels, slopes);
}

void PreluInPlace(std::uint16_t* data, std::size_t pixels, const std::vector<float>& slopes)
{
    preluInPlace(data, pixels, slopes);
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
