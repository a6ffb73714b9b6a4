#include "layerkinds.h"

#include "networkplan.h"

#include <map>

namespace engine
{

namespace
{

[[noreturn]] void refuseWeights(const TModelLayer& layer, const std::string& what)
{
    throw EModelError("layer \"" + layer.name + "\" (" + layer.type + ") needs " + what);
}

std::vector<TWeightBlock> convolutionWeights(const TModelLayer& layer)
{
    const int outputs = layer.params.Int(0, 0);
    const int size = layer.params.Int(6, 0);
    if (outputs <= 0 || size <= 0)
        refuseWeights(layer, "a positive output count (0=) and weight size (6=)");
    std::vector<TWeightBlock> blocks{{true, std::size_t(size)}};
    if (layer.params.Int(5, 0) != 0)
        blocks.push_back({false, std::size_t(outputs)});
    return blocks;
}

std::vector<TWeightBlock> preluWeights(const TModelLayer& layer)
{
    const int slopes = layer.params.Int(0, 0);
    if (slopes <= 0)
        refuseWeights(layer, "a positive slope count (0=)");
    return {{false, std::size_t(slopes)}};
}

int rgb(const TModelLayer&, const std::vector<int>&)
{
    return 3;
}

int firstInputs(const TModelLayer&, const std::vector<int>& in)
{
    return in.empty() ? -1 : in[0];
}

int convolutionChannels(const TModelLayer& layer, const std::vector<int>&)
{
    return layer.params.Int(0, 0);
}

int concatChannels(const TModelLayer&, const std::vector<int>& in)
{
    int sum = 0;
    for (int channels : in)
        sum = channels < 0 || sum < 0 ? -1 : sum + channels;
    return sum;
}

int shuffledChannels(const TModelLayer& layer, const std::vector<int>& in)
{
    const int factor = layer.params.Int(0, 1);
    return !in.empty() && in[0] > 0 && factor > 0 ? in[0] / (factor * factor) : -1;
}

int sameMargin(const TModelLayer&, int out)
{
    return out;
}

int convolutionMargin(const TModelLayer& layer, int out)
{
    const int radius = SameConvolutionRadius(layer.params);
    if (radius < 0)
        return -1;
    return out == WholeMargin ? WholeMargin : out + radius;
}

// Its inputs are written where it wants them, in a buffer of one size.
int concatMargin(const TModelLayer&, int)
{
    return WholeMargin;
}

int resizeMargin(const TModelLayer& layer, int out)
{
    if (const std::optional<TResampling> resampling = ResamplingOf(layer))
        return resampling->InputMarginFor(out);
    const int factor = WholeResizeFactor(layer);
    if (factor < 0)
        return -1;
    return out == WholeMargin ? WholeMargin : (out + factor - 1) / factor;
}

} // namespace

const TLayerKind* LayerKindOf(const std::string& type)
{
    static const std::map<std::string, TLayerKind> kinds{
        {"Input", {{0, 1, 2}, nullptr, rgb, sameMargin, nullptr}},
        {"Convolution",
         {{0, 1, 2, 3, 4, 5, 6, 8, 9, -23310, 11, 12, 13, 14, 15, 16, 18, 19},
          convolutionWeights,
          convolutionChannels,
          convolutionMargin,
          BuildConvolution}},
        {"Split", {{}, nullptr, firstInputs, sameMargin, BuildSplit}},
        {"Concat", {{0}, nullptr, concatChannels, concatMargin, BuildConcat}},
        {"Eltwise", {{0, -23301}, nullptr, firstInputs, sameMargin, BuildElementwise}},
        {"BinaryOp", {{0, 1, 2}, nullptr, firstInputs, sameMargin, BuildElementwise}},
        {"Interp", {{0, 1, 2, 3, 4, 5, 6}, nullptr, firstInputs, resizeMargin, BuildInterp}},
        {"PReLU", {{0}, preluWeights, firstInputs, sameMargin, BuildPrelu}},
        {"PixelShuffle", {{0, 1}, nullptr, shuffledChannels, resizeMargin, BuildPixelShuffle}},
    };
    const auto found = kinds.find(type);
    return found == kinds.end() ? nullptr : &found->second;
}

} // namespace engine
