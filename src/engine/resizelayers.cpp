// Layers that change a blob's size: nearest-neighbour Interp and PixelShuffle.
#include "networkplan.h"

namespace engine
{

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
    const memory::desc source = builder.DescOf(in[0]);
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
    TStep step;
    step.primitive = dnnl::resampling_forward(described);
    step.args = {{DNNL_ARG_SRC, in[0]}, {DNNL_ARG_DST, result}};
    plan.steps.push_back(std::move(step));
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
    const TBlobShape shape = ShapeOf(builder.DescOf(in[0]));
    if (factor <= 0 || shape.channels % (factor * factor) != 0)
        Refuse(layer, std::to_string(shape.channels) + " channels cannot be shuffled by " +
                          std::to_string(factor));
    const int plainInput =
        plan.InLayout(in[0], PlainDesc(shape.channels, shape.height, shape.width));
    const int channels = shape.channels / (factor * factor);
    const int result =
        plan.NewValue(PlainDesc(channels, shape.height * factor, shape.width * factor));
    TStep step;
    TNetworkPlan* owner = &plan;
    step.custom = [owner, plainInput, result, channels, factor, shape] {
        const auto* from = static_cast<const float*>(
            owner->values[std::size_t(plainInput)].object.get_data_handle());
        auto* to = static_cast<float*>(owner->values[std::size_t(result)].object.get_data_handle());
        const std::size_t outW = std::size_t(shape.width) * std::size_t(factor);
        const std::size_t outH = std::size_t(shape.height) * std::size_t(factor);
        for (int c = 0; c < channels; ++c) {
            for (std::size_t y = 0; y < outH; ++y) {
                const std::size_t i = y % std::size_t(factor);
                float* row = to + (std::size_t(c) * outH + y) * outW;
                for (std::size_t x = 0; x < outW; ++x) {
                    const std::size_t j = x % std::size_t(factor);
                    const std::size_t plane =
                        std::size_t(c) * std::size_t(factor * factor) + i * std::size_t(factor) + j;
                    row[x] = from[(plane * std::size_t(shape.height) + y / std::size_t(factor)) *
                                      std::size_t(shape.width) +
                                  x / std::size_t(factor)];
                }
            }
        }
    };
    plan.steps.push_back(std::move(step));
    if (plainInput != in[0])
        plan.Read(plainInput);
    builder.Give(layer.outputs[0], result);
    plan.Read(in[0]);
}

} // namespace engine
