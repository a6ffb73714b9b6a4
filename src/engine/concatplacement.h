// Where each blob lives so that joining channels costs nothing: the inputs of a Concat are
// written by their own layers straight into the Concat's buffer, each at its channel offset.
// In a layout of 16-channel blocks a run of whole blocks is itself a dense tensor, so a
// convolution can read a prefix of the buffer and write the next blocks without a copy.
#pragma once

#include "ncnnmodel.h"

#include <vector>

namespace engine
{

// Channels per block of the layout that placed blobs take (oneDNN's nChw16c).
constexpr int PlacedBlockChannels = 16;

struct TPlace {
    int region = -1; // -1: the blob has a buffer of its own
    int channel = 0; // its first channel inside the region
};

struct TConcatPlacement {
    std::vector<TPlace> blobs;       // by blob
    std::vector<int> regionChannels; // by region
    std::vector<bool> inPlace;       // by layer: a Concat whose inputs are already where it wants
};

// Places the blobs of every Concat that can be joined in place; a Concat whose inputs cannot
// all be placed (an input joined at two offsets, a channel count off the block, a layer that
// cannot write into a given layout) keeps its copy.
TConcatPlacement PlaceConcats(const TNcnnModel& model);

} // namespace engine
