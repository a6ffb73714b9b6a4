#include "network.h"

#include "layerkinds.h"
#include "networkplan.h"

#include <algorithm>
#include <cstring>

namespace engine
{

TPrecision NativePrecision()
{
    const dnnl::cpu_isa isa = dnnl::get_effective_cpu_isa();
    const bool native =
        isa == dnnl::cpu_isa::avx512_core_bf16 || isa == dnnl::cpu_isa::avx512_core_amx;
    return native ? TPrecision::Bfloat16 : TPrecision::Float32;
}

TNetwork::TNetwork(TNcnnModel model, TPrecision precision)
    : state_(std::make_unique<TNetworkState>()), precision_(precision)
{
    state_->model = std::move(model);
    state_->precision = precision;
    state_->placement = PlaceConcats(state_->model);
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
    TNetworkPlan& plan = planFor(probe, probe, 0);
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

TNetworkPlan& TNetwork::planFor(int height, int width, int border)
{
    // A few sizes keep their primitives, since building them costs as much as running a small
    // image.
    constexpr std::size_t keptPlans = 4;
    auto& plans = state_->plans;
    const auto found = std::find_if(plans.begin(), plans.end(), [&](const auto& kept) {
        return kept->height == height && kept->width == width && kept->border == border;
    });
    if (found != plans.end()) {
        std::rotate(plans.begin(), found, found + 1);
    } else {
        plans.insert(plans.begin(), buildPlan(height, width, border));
        if (plans.size() > keptPlans)
            plans.pop_back();
    }
    return *plans.front();
}

void TNetwork::bind(TNetworkPlan& plan)
{
    // The arena stays as it is for a plan that needs somewhat less, so that tiles of a few sizes
    // do not each pay for fresh pages; one that needs far less gives the memory back, since the
    // tiles of a large image are made small to leave room for its result.
    const std::size_t bytes = plan.Bytes();
    if (bytes > state_->arenaBytes || bytes < state_->arenaBytes / 2) {
        for (const auto& kept : state_->plans)
            kept->Release();
        state_->arena.reset();
        state_->arena = AllocateBuffer(bytes);
        state_->arenaBytes = bytes;
    }
    plan.Bind(static_cast<char*>(state_->arena.get()));
}

std::unique_ptr<TNetworkPlan> TNetwork::buildPlan(int height, int width, int border)
{
    auto plan = std::make_unique<TNetworkPlan>();
    plan->cpu = state_->cpu;
    plan->height = height;
    plan->width = width;
    plan->border = border;
    TPlanBuilder builder(*state_, *plan);
    const TNcnnModel& model = state_->model;

    plan->values.push_back({PlainDesc(3, height, width), -1, 0, 0, {}, false, border, border});
    plan->input = 0;
    builder.Give(model.input, 0);

    for (std::size_t l = 0; l < model.layers.size(); ++l) {
        const TModelLayer& layer = model.layers[l];
        const TLayerKind* kind = LayerKindOf(layer.type);
        if (!kind)
            Refuse(layer, "this layer type is not supported");
        if (!kind->build || builder.computed[l])
            continue;
        std::vector<int> in;
        for (int blob : layer.inputs)
            in.push_back(builder.valueOf[std::size_t(blob)]);
        kind->build(builder, l, in);
    }

    int last = builder.valueOf[std::size_t(model.output)];
    const TBlobShape whole = ShapeOf(plan->values[std::size_t(last)].desc);
    // A layer that margins do not describe leaves the border enlarged as the image is.
    if (builder.MarginOf(last) < 0) {
        const int margin = border * (whole.height / height);
        builder.SetMargin(last, margin, margin);
    }
    last = plan->View(last, 0);
    const TBlobShape shape = ShapeOf(plan->values[std::size_t(last)].desc);
    plan->outputChannels = shape.channels;
    plan->outputHeight = shape.height;
    plan->outputWidth = shape.width;
    const memory::desc plain = PlainDesc(shape.channels, shape.height, shape.width);
    if (plan->values[std::size_t(last)].desc == plain) {
        plan->output = last;
        return plan;
    }
    plan->output = plan->NewValue(plain);
    TStep step;
    step.primitive = dnnl::reorder(dnnl::reorder::primitive_desc(
        state_->cpu, plan->values[std::size_t(last)].desc, state_->cpu, plain));
    step.args = {{DNNL_ARG_FROM, last}, {DNNL_ARG_TO, plan->output}};
    plan->steps.push_back(std::move(step));
    return plan;
}

const float* TNetwork::Run(int height, int width, int border, const float* input)
{
    TNetworkPlan& plan = planFor(height, width, border);
    bind(plan);
    for (TValue& value : plan.values) {
        if (value.slot < 0)
            value.object.set_data_handle(const_cast<float*>(input));
    }
    for (TStep& step : plan.steps) {
        if (step.custom) {
            step.custom();
            continue;
        }
        step.primitive->execute(state_->stream, step.bound);
    }
    state_->stream.wait();
    return static_cast<const float*>(
        plan.values[std::size_t(plan.output)].object.get_data_handle());
}

std::size_t TNetwork::WorkspaceBytes(int height, int width)
{
    return planFor(height, width, 0).Bytes();
}

std::vector<TNetwork::TConvolutionShape> TNetwork::ConvolutionShapes(int height, int width,
                                                                     int border)
{
    return planFor(height, width, border).convolutions;
}

} // namespace engine
