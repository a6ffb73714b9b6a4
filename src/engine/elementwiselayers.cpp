// Eltwise and BinaryOp: sums, products and the other two-operand operations, and operations with
// a number; both are one oneDNN binary step.
#include "networkplan.h"

#include <limits>

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

} // namespace engine
