// Every layer kind the engine runs, in one table, as ncnn keeps one creator per layer: what the
// model reader accepts and reads of a kind, how many channels it gives, what border its inputs
// need, and the step that computes it. A kind that is not in the table is refused when the model
// loads.
#pragma once

#include "ncnnmodel.h"

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace engine
{

struct TPlanBuilder;

// One block of a layer's weights in the .bin: tagged blocks start with a word that says fp32,
// fp16 or bf16; raw ones are fp32.
struct TWeightBlock {
    bool tagged = false;
    std::size_t count = 0;
};

struct TLayerKind {
    std::set<int> keys; // the parameters it understands; any other is refused
    // Its weight blocks in the order the kind stores them; throws EModelError for parameters that
    // cannot describe them.
    std::vector<TWeightBlock> (*weights)(const TModelLayer& layer) = nullptr;
    // The channels of its output from its inputs' channels; -1 where they do not tell.
    int (*channels)(const TModelLayer& layer, const std::vector<int>& inputChannels) = nullptr;
    // The margin its inputs need for `out` of its output to come out as from the whole tile
    // (WholeMargin in, WholeMargin out); -1 where margins cannot describe its geometry.
    int (*inputMargin)(const TModelLayer& layer, int out) = nullptr;
    // Adds the steps that compute it to the plan; the Input layer has none.
    void (*build)(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in) = nullptr;
};

// The kind of a layer type; nullptr for one the engine does not run.
const TLayerKind* LayerKindOf(const std::string& type);

} // namespace engine
