// Enlarges a whole image through a network tile by tile, writing straight into an 8- or 16-bit
// result, so memory stays bounded by the tile whatever the image's size.
#pragma once

#include <QImage>
#include <cstddef>
#include <functional>

namespace engine
{

class TNetwork;

// Input pixels that each tile reads beyond the part it keeps, on every side: the outside
// upscaler's, so that both see the same mirrored border at the image's edges. The models see
// farther, but what lies beyond weighs too little to show a seam (the tests compare tiles with a
// whole-image pass).
constexpr int TileOverlap = 10;

// The tile size (kept part, in input pixels) whose working memory fits a few hundred megabytes,
// less when the image and its result (`imageBytes`) leave less of the memory one image may take.
int AutomaticTileSize(TNetwork& network, std::size_t imageBytes = 0);

// The enlarged image: 16 bits per channel when `image` has more than 8, grey when it is grey,
// with its alpha channel enlarged bicubically. Alpha through the model as a grey picture would
// double the time of every transparent image, and the photo models reshape a mask's soft edges
// and holes (on a soft-edged disc the two came out 20 to 26 dB apart) where bicubic keeps them
// as drawn. Every value is clamped before it is stored.
// `progress` is called with the finished fraction after each tile.
QImage EnlargeImage(TNetwork& network, const QImage& image, int tileSize,
                    const std::function<void(double)>& progress = {});

} // namespace engine
