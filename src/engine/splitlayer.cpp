// Split: every output names its input's value again, with no step of its own.
#include "networkplan.h"

namespace engine
{

void BuildSplit(TPlanBuilder& builder, std::size_t l, const std::vector<int>& in)
{
    const TModelLayer& layer = builder.Model().layers[l];
    if (in.size() != 1)
        Refuse(layer, "needs one input blob");
    for (int blob : layer.outputs)
        builder.Give(blob, in[0]);
    builder.plan.Read(in[0]);
}

} // namespace engine
