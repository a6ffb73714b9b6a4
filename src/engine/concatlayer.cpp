// Concat of channels: free where its inputs were written into its buffer (see
// concatplacement.h), else one copy by oneDNN.
#include "networkplan.h"

namespace engine
{

void BuildConcat(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    TNetworkPlan& plan = builder.plan;
    const TModelLayer& layer = builder.Model().layers[l];
    if (in.empty() || layer.outputs.size() != 1)
        Refuse(layer, "needs input blobs and one output");
    if (layer.params.Int(0, 0) != 0)
        Refuse(layer, "only joining channels (0=0) is supported");
    std::vector<memory::desc> sources;
    int channels = 0;
    for (int value : in) {
        sources.push_back(builder.DescOf(value));
        channels += ShapeOf(sources.back()).channels;
    }
    const TBlobShape first = ShapeOf(sources[0]);
    for (const memory::desc& source : sources) {
        const TBlobShape shape = ShapeOf(source);
        if (shape.height != first.height || shape.width != first.width)
            Refuse(layer, "its inputs differ in size");
    }
    const int output = layer.outputs[0];
    const memory::desc blocked = builder.BlockedDesc(channels, first.height, first.width);
    bool inPlace = builder.state.placement.inPlace[l];
    for (int value : in)
        inPlace = inPlace && builder.InRegion(value);
    if (inPlace) {
        const int result = builder.ValueFor(output, blocked);
        builder.SetMargin(result, builder.MarginOf(in[0]), builder.FullMarginOf(in[0]));
        builder.Give(output, result);
    } else {
        std::optional<dnnl::concat::primitive_desc> described;
        if (builder.Placed(output))
            described.emplace(blocked, 1, sources, builder.state.cpu);
        else
            described.emplace(1, sources, builder.state.cpu);
        const int result = builder.ValueFor(output, described->dst_desc());
        builder.SetMargin(result, builder.MarginOf(in[0]), builder.FullMarginOf(in[0]));
        TStep step;
        step.primitive = dnnl::concat(*described);
        for (std::size_t i = 0; i < in.size(); ++i)
            step.args.push_back({DNNL_ARG_MULTIPLE_SRC + int(i), in[i]});
        step.args.push_back({DNNL_ARG_DST, result});
        plan.steps.push_back(std::move(step));
        builder.Give(output, result);
    }
    for (int value : in)
        plan.Read(value);
}

} // namespace engine
