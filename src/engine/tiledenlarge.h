// Enlarges a whole image through a network tile by tile, writing straight into an 8- or 16-bit
// result, so memory stays bounded by the tile whatever the image's size.
#pragma once

#include <QImage>
#include <functional>

namespace engine
{

class TNetwork;

// Input pixels that each tile reads beyond the part it keeps, on every side. The models see far
// beyond this, but their influence fades fast enough that seams stay invisible (see the tests'
// tiles-against-whole comparison).
constexpr int TileOverlap = 12;

// The tile size (kept part, in input pixels) whose working memory fits a few hundred megabytes.
int AutomaticTileSize(TNetwork& network);

// The enlarged image: 16 bits per channel when `image` has more than 8, grey when it is grey,
// with its alpha channel enlarged bicubically. Every value is clamped before it is stored.
// `progress` is called with the finished fraction after each tile.
QImage EnlargeImage(TNetwork& network, const QImage& image, int tileSize,
                    const std::function<void(double)>& progress = {});

} // namespace engine
