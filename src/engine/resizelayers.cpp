// Layers that change a blob's size: nearest-neighbour Interp and PixelShuffle. Both enlarge
// only the part of their input that their readers' margin still needs.
#include "networkplan.h"

#include <cstdint>
#include <cstring>
#include <omp.h>

namespace engine
{

namespace
{

// The input cut to the margin the output's readers need once enlarged by `factor`; the
// output's margin and whole margin come back in `margin` and `fullMargin` (-1: unknown).
int cutForReaders(TPlanBuilder& builder, const TModelLayer& layer, int value, int factor,
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

// Where channel c of pixel p is in a plain layout: c * channelStride + p * pixelStride.
struct TPlainLayout {
    std::size_t channelStride = 0;
    std::size_t pixelStride = 0;
    bool half = false; // bf16, else fp32
};

std::optional<TPlainLayout> plainLayoutOf(const memory::desc& desc)
{
    const TBlobShape shape = ShapeOf(desc);
    const std::size_t pixels = std::size_t(shape.height) * std::size_t(shape.width);
    for (const Type type : {Type::f32, Type::bf16}) {
        const bool half = type == Type::bf16;
        if (desc == memory::desc({1, shape.channels, shape.height, shape.width}, type, Tag::nchw))
            return TPlainLayout{pixels, 1, half};
        if (desc == memory::desc({1, shape.channels, shape.height, shape.width}, type, Tag::nhwc))
            return TPlainLayout{1, std::size_t(shape.channels), half};
    }
    return std::nullopt;
}

} // namespace

void BuildInterp(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    TNetworkPlan& plan = builder.plan;
    const TModelLayer& layer = builder.Model().layers[l];
    const TLayerParams& params = layer.params;
    NeedInputs(layer, in, 1);
    if (params.Int(0, 0) != 1)
        Refuse(layer, "only nearest-neighbour resizing (0=1) is supported, not 0=" +
                          std::to_string(params.Int(0, 0)));
    if (params.Int(3, 0) != 0 || params.Int(4, 0) != 0 || params.Int(5, 0) != 0)
        Refuse(layer, "only resizing by a factor (1=, 2=) is supported");
    int margin = -1;
    int fullMargin = -1;
    const int input =
        cutForReaders(builder, layer, in[0], WholeResizeFactor(layer), margin, fullMargin);
    const memory::desc source = builder.DescOf(input);
    const TBlobShape shape = ShapeOf(source);
    const float scaleH = params.Float(1, 1.f);
    const float scaleW = params.Float(2, 1.f);
    const int outH = int(float(shape.height) * scaleH);
    const int outW = int(float(shape.width) * scaleW);
    if (outH <= 0 || outW <= 0)
        Refuse(layer, "its factors give an empty image");
    const dnnl::resampling_forward::primitive_desc described(
        dnnl::resampling_forward::desc(
            dnnl::prop_kind::forward_inference, dnnl::algorithm::resampling_nearest, source,
            memory::desc({1, shape.channels, outH, outW}, source.data_type(), Tag::any)),
        builder.state.cpu);
    const int result = plan.NewValue(described.dst_desc());
    builder.SetMargin(result, margin, fullMargin);
    TStep step;
    step.primitive = dnnl::resampling_forward(described);
    step.args = {{DNNL_ARG_SRC, input}, {DNNL_ARG_DST, result}};
    plan.steps.push_back(std::move(step));
    if (input != in[0])
        plan.Read(input);
    builder.Give(layer.outputs[0], result);
    plan.Read(in[0]);
}

void BuildPixelShuffle(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    TNetworkPlan& plan = builder.plan;
    const TModelLayer& layer = builder.Model().layers[l];
    const TLayerParams& params = layer.params;

    NeedInputs(layer, in, 1);
    const int factor = params.Int(0, 1);
    if (params.Int(1, 0) != 0)
        Refuse(layer, "only the channel order of mode 1=0 is supported");
    if (factor <= 0 || ShapeOf(builder.DescOf(in[0])).channels % (factor * factor) != 0)
        Refuse(layer, std::to_string(ShapeOf(builder.DescOf(in[0])).channels) +
                          " channels cannot be shuffled by " + std::to_string(factor));
    int margin = -1;
    int fullMargin = -1;
    const int cut = cutForReaders(builder, layer, in[0], factor, margin, fullMargin);
    const TBlobShape shape = ShapeOf(builder.DescOf(cut));
    // Channels first or last, in either number type, it is read where it lies.
    std::optional<TPlainLayout> layout = plainLayoutOf(builder.DescOf(cut));
    int input = cut;
    if (!layout) {
        input = plan.InLayout(cut, PlainDesc(shape.channels, shape.height, shape.width));
        layout = plainLayoutOf(builder.DescOf(input));
    }
    const int channels = shape.channels / (factor * factor);
    const int result =
        plan.NewValue(PlainDesc(channels, shape.height * factor, shape.width * factor));
    builder.SetMargin(result, margin, fullMargin);
    TStep step;
    TNetworkPlan* owner = &plan;
    step.custom = [owner, input, result, channels, factor, shape, layout = *layout] {
        const void* from = owner->values[std::size_t(input)].object.get_data_handle();
        auto* to = static_cast<float*>(owner->values[std::size_t(result)].object.get_data_handle());
        const auto at = [from, layout](std::size_t offset) {
            if (!layout.half)
                return static_cast<const float*>(from)[offset];
            const std::uint32_t bits =
                std::uint32_t(static_cast<const std::uint16_t*>(from)[offset]) << 16;
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        };
        const std::size_t f = std::size_t(factor);
        const std::size_t width = std::size_t(shape.width);
        const std::size_t outW = width * f;
        const std::size_t rows = std::size_t(channels) * std::size_t(shape.height) * f;
#pragma omp parallel for schedule(static)
        for (std::size_t row = 0; row < rows; ++row) {
            const std::size_t c = row / (std::size_t(shape.height) * f);
            const std::size_t y = row % (std::size_t(shape.height) * f);
            const std::size_t firstPlane = (c * f + y % f) * f;
            const std::size_t firstPixel = (y / f) * width;
            float* line = to + row * outW;
            for (std::size_t x = 0; x < width; ++x) {
                const std::size_t pixel = (firstPixel + x) * layout.pixelStride;
                for (std::size_t j = 0; j < f; ++j)
                    line[x * f + j] = at((firstPlane + j) * layout.channelStride + pixel);
            }
        }
    };
    plan.steps.push_back(std::move(step));
    if (input != cut)
        plan.Read(input);
    if (cut != in[0])
        plan.Read(cut);
    builder.Give(layer.outputs[0], result);
    plan.Read(in[0]);
}

} // namespace engine
