// Interp: nearest by a whole factor with oneDNN's resampling; bilinear and bicubic as ncnn
// computes them, by any factor, in a step of the engine's own. Each computes only the part of its
// input that its readers' margin still needs.
#include "networkplan.h"
#include "plainvalues.h"

#include <algorithm>
#include <cmath>
#include <omp.h>

namespace engine
{

namespace
{

// The input of a bilinear or bicubic resize cut to the margin its readers need. Its taps reach
// beyond their own pixel and its factor need not be whole, so only a margin that maps onto whole
// output pixels is cut to.
int cutForResampling(TPlanBuilder& builder, const TModelLayer& layer, int value, int& margin,
                     int& fullMargin)
{
    margin = -1;
    fullMargin = -1;
    const std::optional<TResampling> resampling = ResamplingOf(layer);
    const int available = builder.MarginOf(value);
    const int whole = builder.FullMarginOf(value);
    if (!resampling || available < 0 || whole < 0 || !resampling->Divides(available) ||
        !resampling->Divides(whole))
        return value;
    const int needed = builder.NeededOf(layer.outputs[0], resampling->OutputMargin(available));
    const int cut =
        builder.plan.InMargin(value, std::min(resampling->InputMarginFor(needed), available));
    margin = resampling->OutputMargin(builder.MarginOf(cut));
    fullMargin = resampling->OutputMargin(whole);
    return cut;
}

// For each output coordinate of a bilinear or bicubic resize, its first source sample and the
// weights of the two or four samples from there, computed in the same float steps as ncnn, so
// that results agree with the upscaler's. Samples beyond the edge are the edge's own, which is
// where ncnn moves their weights.
struct TResizeTaps {
    std::vector<int> first;
    std::vector<float> weights; // two or four for each output coordinate
};

TResizeTaps resizeTaps(int source, int target, bool cubic, bool alignCorners)
{
    TResizeTaps result;
    const double scale =
        alignCorners ? double(source - 1) / double(target - 1) : double(source) / double(target);
    for (int d = 0; d < target; ++d) {
        float f = alignCorners ? float(d * scale) : float((d + 0.5) * scale - 0.5);
        const int at = int(std::floor(f));
        f -= float(at);
        if (cubic) {
            constexpr float a = -0.75f;
            const float f0 = f + 1.f;
            const float f1 = f;
            const float f2 = 1.f - f;
            const float w0 = a * f0 * f0 * f0 - 5 * a * f0 * f0 + 8 * a * f0 - 4 * a;
            const float w1 = (a + 2) * f1 * f1 * f1 - (a + 3) * f1 * f1 + 1;
            const float w2 = (a + 2) * f2 * f2 * f2 - (a + 3) * f2 * f2 + 1;
            result.first.push_back(at - 1);
            result.weights.insert(result.weights.end(), {w0, w1, w2, 1.f - w0 - w1 - w2});
        } else {
            result.first.push_back(at);
            result.weights.insert(result.weights.end(), {1.f - f, f});
        }
    }
    return result;
}

// Every row of the source resized across, channel after channel, into `rows`.
template <int Taps, bool Half>
void resampleAcross(const void* from, const TPlainLayout& layout, const TBlobShape& shape,
                    const TResizeTaps& across, float* rows)
{
    const std::size_t outW = across.first.size();
    const std::size_t count = std::size_t(shape.channels) * std::size_t(shape.height);
#pragma omp parallel for schedule(static)
    for (std::size_t row = 0; row < count; ++row) {
        const std::size_t c = row / std::size_t(shape.height);
        const std::size_t y = row % std::size_t(shape.height);
        const std::size_t start =
            c * layout.channelStride + y * std::size_t(shape.width) * layout.pixelStride;
        float* into = rows + row * outW;
        for (std::size_t x = 0; x < outW; ++x) {
            const float* weights = across.weights.data() + x * Taps;
            float sum = 0.f;
            for (int i = 0; i < Taps; ++i) {
                const int sx = std::clamp(across.first[x] + i, 0, shape.width - 1);
                sum +=
                    weights[i] * Element<Half>(from, start + std::size_t(sx) * layout.pixelStride);
            }
            into[x] = sum;
        }
    }
}

// Each output row mixed from the rows resized across.
template <int Taps>
void resampleDown(const float* rows, const TBlobShape& shape, const TResizeTaps& down,
                  std::size_t outW, float* to)
{
    const std::size_t outH = down.first.size();
    const std::size_t count = std::size_t(shape.channels) * outH;
#pragma omp parallel for schedule(static)
    for (std::size_t row = 0; row < count; ++row) {
        const std::size_t c = row / outH;
        const std::size_t y = row % outH;
        const float* weights = down.weights.data() + y * Taps;
        const float* source[Taps];
        for (int j = 0; j < Taps; ++j)
            source[j] = rows + (c * std::size_t(shape.height) +
                                std::size_t(std::clamp(down.first[y] + j, 0, shape.height - 1))) *
                                   outW;
        float* line = to + row * outW;
        for (std::size_t x = 0; x < outW; ++x) {
            float sum = 0.f;
            for (int j = 0; j < Taps; ++j)
                sum += weights[j] * source[j][x];
            line[x] = sum;
        }
    }
}

template <int Taps>
void resample(const void* from, const TPlainLayout& layout, const TBlobShape& shape,
              const TResizeTaps& across, const TResizeTaps& down, float* rows, float* to)
{
    if (layout.half)
        resampleAcross<Taps, true>(from, layout, shape, across, rows);
    else
        resampleAcross<Taps, false>(from, layout, shape, across, rows);
    resampleDown<Taps>(rows, shape, down, across.first.size(), to);
}

} // namespace

void BuildInterp(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    TNetworkPlan& plan = builder.plan;
    const TModelLayer& layer = builder.Model().layers[l];
    const TLayerParams& params = layer.params;
    NeedInputs(layer, in, 1);
    const int kind = params.Int(0, 0);
    if (kind < 1 || kind > 3)
        Refuse(layer, "resizing of the kind 0=" + std::to_string(kind) +
                          " is not supported, only nearest (1), bilinear (2) and bicubic (3)");
    // An upscaler's every blob grows with its input, which a fixed size cannot.
    if (params.Int(3, 0) != 0 || params.Int(4, 0) != 0 || params.Int(5, 0) != 0)
        Refuse(layer, "only resizing by a factor (1=, 2=) is supported");
    int margin = -1;
    int fullMargin = -1;
    const int input = kind == 1 ? CutForEnlarging(builder, layer, in[0], WholeResizeFactor(layer),
                                                  margin, fullMargin)
                                : cutForResampling(builder, layer, in[0], margin, fullMargin);
    const TBlobShape shape = ShapeOf(builder.DescOf(input));
    const int outH = int(float(shape.height) * params.Float(1, 1.f));
    const int outW = int(float(shape.width) * params.Float(2, 1.f));
    if (outH <= 0 || outW <= 0)
        Refuse(layer, "its factors give an empty image");
    int result = -1;
    if (kind == 1) {
        const memory::desc source = builder.DescOf(input);
        const dnnl::resampling_forward::primitive_desc described(
            dnnl::resampling_forward::desc(
                dnnl::prop_kind::forward_inference, dnnl::algorithm::resampling_nearest, source,
                memory::desc({1, shape.channels, outH, outW}, source.data_type(), Tag::any)),
            builder.state.cpu);
        result = plan.NewValue(described.dst_desc());
        TStep step;
        step.primitive = dnnl::resampling_forward(described);
        step.args = {{DNNL_ARG_SRC, input}, {DNNL_ARG_DST, result}};
        plan.steps.push_back(std::move(step));
    } else {
        const TPlainInput source = PlainInput(plan, input);
        result = plan.NewValue(PlainDesc(shape.channels, outH, outW));
        const int rows = plan.Temporary(PlainDesc(shape.channels, shape.height, outW));
        const bool alignCorners = params.Int(6, 0) != 0;
        const bool cubic = kind == 3;
        TStep step;
        TNetworkPlan* owner = &plan;
        step.custom = [owner, source, rows, result, shape, cubic,
                       across = resizeTaps(shape.width, outW, cubic, alignCorners),
                       down = resizeTaps(shape.height, outH, cubic, alignCorners)] {
            const auto data = [owner](int value) {
                return owner->values[std::size_t(value)].object.get_data_handle();
            };
            auto* rowsData = static_cast<float*>(data(rows));
            auto* to = static_cast<float*>(data(result));
            if (cubic)
                resample<4>(data(source.value), source.layout, shape, across, down, rowsData, to);
            else
                resample<2>(data(source.value), source.layout, shape, across, down, rowsData, to);
        };
        plan.steps.push_back(std::move(step));
        plan.Read(rows);
        if (source.value != input)
            plan.Read(source.value);
    }
    builder.SetMargin(result, margin, fullMargin);
    if (input != in[0])
        plan.Read(input);
    builder.Give(layer.outputs[0], result);
    plan.Read(in[0]);
}

} // namespace engine
