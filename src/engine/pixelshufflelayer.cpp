// PixelShuffle: channels into blocks of pixels, only over the part of its input that its readers'
// margin still needs, read where it lies.
#include "networkplan.h"
#include "plainvalues.h"

#include <omp.h>

namespace engine
{

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
    const int cut = CutForEnlarging(builder, layer, in[0], factor, margin, fullMargin);
    const TBlobShape shape = ShapeOf(builder.DescOf(cut));
    const TPlainInput source = PlainInput(plan, cut);
    const int input = source.value;
    const int channels = shape.channels / (factor * factor);
    const int result =
        plan.NewValue(PlainDesc(channels, shape.height * factor, shape.width * factor));
    builder.SetMargin(result, margin, fullMargin);
    TStep step;
    TNetworkPlan* owner = &plan;
    step.custom = [owner, input, result, channels, factor, shape, layout = source.layout] {
        const void* from = owner->values[std::size_t(input)].object.get_data_handle();
        auto* to = static_cast<float*>(owner->values[std::size_t(result)].object.get_data_handle());
        const auto at = [from, layout](std::size_t offset) {
            return ElementAt(from, layout, offset);
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
