#include "concatplacement.h"

#include "layerkinds.h"

#include <algorithm>
#include <set>

namespace engine
{

namespace
{

// The channels of every blob as far as the layer types tell them, -1 where they do not.
std::vector<int> channelsOfBlobs(const TNcnnModel& model)
{
    std::vector<int> channels(model.blobs.size(), -1);
    const auto of = [&](int blob) { return channels[std::size_t(blob)]; };
    for (const TModelLayer& layer : model.layers) {
        std::vector<int> inputs;
        for (int blob : layer.inputs)
            inputs.push_back(of(blob));
        const TLayerKind* kind = LayerKindOf(layer.type);
        const int result = kind ? kind->channels(layer, inputs) : -1;
        for (int blob : layer.outputs)
            channels[std::size_t(blob)] = result;
    }
    return channels;
}

} // namespace

TConcatPlacement PlaceConcats(const TNcnnModel& model)
{
    TConcatPlacement placement;
    placement.blobs.resize(model.blobs.size());
    placement.inPlace.assign(model.layers.size(), false);
    const std::vector<int> channels = channelsOfBlobs(model);

    // A Split only names its input again; the layer that computes a blob is what matters.
    std::vector<int> sourceOf(model.blobs.size());
    std::vector<int> producerOf(model.blobs.size(), -1);
    for (std::size_t b = 0; b < sourceOf.size(); ++b)
        sourceOf[b] = int(b);
    for (std::size_t l = 0; l < model.layers.size(); ++l) {
        const TModelLayer& layer = model.layers[l];
        for (int blob : layer.outputs) {
            producerOf[std::size_t(blob)] = int(l);
            if (layer.type == "Split" && layer.inputs.size() == 1)
                sourceOf[std::size_t(blob)] = sourceOf[std::size_t(layer.inputs[0])];
        }
    }
    // Only convolutions and sums write into a layout they are handed; their channels must fill
    // whole blocks so that every offset falls on a block's start.
    const auto placeable = [&](int blob) {
        const int producer = producerOf[std::size_t(blob)];
        if (producer < 0 || channels[std::size_t(blob)] <= 0 ||
            channels[std::size_t(blob)] % PlacedBlockChannels != 0)
            return false;
        const TModelLayer& layer = model.layers[std::size_t(producer)];
        return layer.type == "Convolution" || layer.type == "Concat" ||
               (layer.type == "Eltwise" && layer.params.Int(0, 1) == 1);
    };

    // From the last Concat back, so that a Concat nested in a larger one (the same inputs and
    // more) finds its inputs already placed and takes the larger one's buffer.
    for (std::size_t l = model.layers.size(); l-- > 0;) {
        const TModelLayer& layer = model.layers[l];
        if (layer.type != "Concat" || layer.params.Int(0, 0) != 0 || layer.outputs.size() != 1 ||
            layer.inputs.empty())
            continue;
        const int output = layer.outputs[0];
        if (!placeable(output))
            continue;
        std::vector<int> inputs;
        std::vector<int> offsets;
        int offset = 0;
        bool fits = true;
        for (int blob : layer.inputs) {
            const int source = sourceOf[std::size_t(blob)];
            fits = fits && placeable(source) &&
                   std::find(inputs.begin(), inputs.end(), source) == inputs.end();
            inputs.push_back(source);
            offsets.push_back(offset);
            offset += std::max(channels[std::size_t(source)], 0);
        }
        if (!fits)
            continue;
        TPlace base = placement.blobs[std::size_t(output)];
        const TPlace first = placement.blobs[std::size_t(inputs[0])];
        bool newRegion = false;
        if (base.region < 0) {
            if (first.region >= 0) {
                base = first;
            } else {
                base = {int(placement.regionChannels.size()), 0};
                newRegion = true;
            }
        }
        const int regionChannels =
            newRegion ? offset : placement.regionChannels[std::size_t(base.region)];
        bool agrees = base.channel + offset <= regionChannels;
        for (std::size_t i = 0; i < inputs.size() && agrees; ++i) {
            const TPlace at = placement.blobs[std::size_t(inputs[i])];
            agrees = at.region < 0 ||
                     (at.region == base.region && at.channel == base.channel + offsets[i]);
        }
        if (!agrees)
            continue;
        if (newRegion)
            placement.regionChannels.push_back(offset);
        placement.blobs[std::size_t(output)] = base;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            placement.blobs[std::size_t(inputs[i])] = {base.region, base.channel + offsets[i]};
        placement.inPlace[l] = true;
    }
    return placement;
}

} // namespace engine
