#include "tiledenlarge.h"

#include "network.h"

#include <QColorSpace>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace engine
{

namespace
{

// Working memory that the tiles may take; the result image comes on top.
constexpr std::size_t TileBudget = std::size_t(640) << 20;
// What one image may take in all: the decoded image twice (as read, and as the tiles read it),
// its result and the tiles, with room left for the program, the weights and the encoder. A
// large result leaves the tiles less, down to a floor below which the border would cost more
// than the memory saved.
constexpr std::size_t ImageMemoryAim = std::size_t(1792) << 20;
constexpr std::size_t SmallestTileBudget = std::size_t(48) << 20;

struct TLayout {
    bool deep;  // 16 bits per channel
    bool grey;  // one channel of colour
    bool alpha; // an alpha channel
};

TLayout layoutOf(const QImage& image)
{
    const QImage::Format format = image.format();
    const bool grey = format == QImage::Format_Grayscale8 || format == QImage::Format_Grayscale16 ||
                      ((format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
                        format == QImage::Format_MonoLSB) &&
                       image.isGrayscale() && !image.hasAlphaChannel());
    const bool deep =
        format == QImage::Format_Grayscale16 || format == QImage::Format_RGBX64 ||
        format == QImage::Format_RGBA64 || format == QImage::Format_RGBA64_Premultiplied ||
        format == QImage::Format_RGBX16FPx4 || format == QImage::Format_RGBA16FPx4 ||
        format == QImage::Format_RGBA16FPx4_Premultiplied || format == QImage::Format_RGBX32FPx4 ||
        format == QImage::Format_RGBA32FPx4 || format == QImage::Format_RGBA32FPx4_Premultiplied ||
        format == QImage::Format_A2BGR30_Premultiplied ||
        format == QImage::Format_A2RGB30_Premultiplied || format == QImage::Format_BGR30 ||
        format == QImage::Format_RGB30;
    return {deep, grey, image.hasAlphaChannel()};
}

// Reads the source's channels (red, green, blue, alpha) in 0..1 whatever its depth.
class TSource
{
public:
    // Without alpha the X formats have the same layout, and one of them is what a 16-bit RGB
    // file decodes to: no copy of a large image beside the one read.
    TSource(const QImage& image, bool deep)
        : image_(image.convertToFormat(
              deep
                  ? (image.hasAlphaChannel() ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                  : (image.hasAlphaChannel() ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888))),
          deep_(deep)
    {
    }

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    float Max() const { return deep_ ? 65535.f : 255.f; }

    // Beyond the edge, the nearest edge pixel.
    float At(int x, int y, int channel) const
    {
        return stored(std::clamp(x, 0, Width() - 1), std::clamp(y, 0, Height() - 1), channel);
    }

    // Beyond the edge, the image mirrored about its edge pixels.
    float Mirrored(int x, int y, int channel) const
    {
        return stored(mirror(x, Width()), mirror(y, Height()), channel);
    }

private:
    static int mirror(int at, int length)
    {
        if (length == 1)
            return 0;
        const int period = 2 * (length - 1);
        at = std::abs(at) % period;
        return at < length ? at : period - at;
    }

    float stored(int x, int y, int channel) const
    {
        if (deep_) {
            const auto* line = reinterpret_cast<const std::uint16_t*>(image_.constScanLine(y));
            return float(line[4 * x + channel]);
        }
        return float(image_.constScanLine(y)[4 * x + channel]);
    }

    QImage image_;
    bool deep_;
};

float cubicWeight(float distance)
{
    // Catmull-Rom: sharp, and exact on straight ramps.
    constexpr float a = -0.5f;
    const float d = std::fabs(distance);
    if (d <= 1.f)
        return ((a + 2.f) * d - (a + 3.f)) * d * d + 1.f;
    if (d < 2.f)
        return ((a * d - 5.f * a) * d + 8.f * a) * d - 4.f * a;
    return 0.f;
}

// The bicubic weights of the four source samples around each output coordinate of a range.
struct TCubicTaps {
    std::vector<int> first;
    std::vector<std::array<float, 4>> weights;
};

TCubicTaps cubicTaps(int from, int count, int scale)
{
    TCubicTaps taps;
    for (int i = 0; i < count; ++i) {
        const float source = (float(from + i) + 0.5f) / float(scale) - 0.5f;
        const float floor = std::floor(source);
        taps.first.push_back(int(floor) - 1);
        std::array<float, 4> weights;
        for (int k = 0; k < 4; ++k)
            weights[std::size_t(k)] = cubicWeight(source - (floor - 1.f + float(k)));
        taps.weights.push_back(weights);
    }
    return taps;
}

template <typename T> T stored(float value, float max)
{
    return T(std::lround(std::clamp(value, 0.f, 1.f) * max));
}

} // namespace

int AutomaticTileSize(TNetwork& network, std::size_t imageBytes)
{
    constexpr int probe = 64;
    const double bytesPerPixel = double(network.WorkspaceBytes(probe, probe)) / (probe * probe);
    const std::size_t budget = imageBytes + SmallestTileBudget < ImageMemoryAim
                                   ? std::min(TileBudget, ImageMemoryAim - imageBytes)
                                   : SmallestTileBudget;
    const int side = int(std::sqrt(double(budget) / bytesPerPixel)) - 2 * TileOverlap;
    return std::clamp(side, 32, 512);
}

QImage EnlargeImage(TNetwork& network, const QImage& image, int tileSize,
                    const std::function<void(double)>& progress)
{
    const TLayout layout = layoutOf(image);
    const TSource source(image, layout.deep);
    const int width = source.Width();
    const int height = source.Height();
    const int scale = network.Scale();
    QImage::Format format;
    if (layout.alpha)
        format = layout.deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    else if (layout.grey)
        format = layout.deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    else
        format = layout.deep ? QImage::Format_RGBX64 : QImage::Format_RGB888;
    QImage result(width * scale, height * scale, format);
    if (result.isNull())
        throw std::bad_alloc();

    if (tileSize <= 0)
        tileSize = AutomaticTileSize(network, std::size_t(result.sizeInBytes()) +
                                                  2 * std::size_t(width) * std::size_t(height) *
                                                      (layout.deep ? 8 : 4));
    // Every tile has the same size, so one plan of primitives serves them all. The image is split
    // evenly, so tiles are no larger than needed, and the last one in a row or column moves back
    // by the few pixels that the split leaves over, to end at the image's edge.
    const auto evenTile = [tileSize](int length) {
        const int tiles = (length + tileSize - 1) / tileSize;
        return (length + tiles - 1) / tiles;
    };
    const int tileW = evenTile(width);
    const int tileH = evenTile(height);
    const auto starts = [](int length, int tile) {
        std::vector<int> positions;
        for (int at = 0; at < length; at += tile)
            positions.push_back(std::min(at, length - tile));
        return positions;
    };
    const std::vector<int> columns = starts(width, tileW);
    const std::vector<int> rows = starts(height, tileH);
    const int inW = tileW + 2 * TileOverlap;
    const int inH = tileH + 2 * TileOverlap;
    const std::size_t inPlane = std::size_t(inW) * std::size_t(inH);
    std::vector<float> input(3 * inPlane);
    const float max = source.Max();
    const int keepW = tileW * scale;
    const int keepH = tileH * scale;
    const std::size_t outPlane = std::size_t(keepW) * std::size_t(keepH);
    uchar* const bits = result.bits();
    const qsizetype bytesPerLine = result.bytesPerLine();

    std::size_t done = 0;
    const std::size_t total = columns.size() * rows.size();
    for (int y0 : rows) {
        for (int x0 : columns) {
            // Beyond the image's edge the image is mirrored, as the outside upscaler does, so
            // both give the same edges.
#pragma omp parallel for schedule(static)
            for (int y = 0; y < inH; ++y) {
                for (int x = 0; x < inW; ++x) {
                    const int sx = x0 - TileOverlap + x;
                    const int sy = y0 - TileOverlap + y;
                    const std::size_t at = std::size_t(y) * std::size_t(inW) + std::size_t(x);
                    for (int c = 0; c < 3; ++c)
                        input[std::size_t(c) * inPlane + at] = source.Mirrored(sx, sy, c) / max;
                }
            }
            const float* output = network.Run(inH, inW, TileOverlap, input.data());

            const int keepX = x0 * scale;
            const int keepY = y0 * scale;
            const TCubicTaps tapsX = cubicTaps(keepX, keepW, scale);
            const TCubicTaps tapsY = cubicTaps(keepY, keepH, scale);
#pragma omp parallel for schedule(static)
            for (int y = 0; y < keepH; ++y) {
                const float* red = output + std::size_t(y) * std::size_t(keepW);
                const float* green = red + outPlane;
                const float* blue = green + outPlane;
                uchar* line = bits + (keepY + y) * bytesPerLine;
                for (int x = 0; x < keepW; ++x) {
                    const int ox = keepX + x;
                    float alpha = 0.f;
                    if (layout.alpha) {
                        for (int j = 0; j < 4; ++j) {
                            float across = 0.f;
                            for (int i = 0; i < 4; ++i)
                                across += tapsX.weights[std::size_t(x)][std::size_t(i)] *
                                          source.At(tapsX.first[std::size_t(x)] + i,
                                                    tapsY.first[std::size_t(y)] + j, 3);
                            alpha += tapsY.weights[std::size_t(y)][std::size_t(j)] * across;
                        }
                        alpha /= max;
                    }
                    if (layout.grey && !layout.alpha) {
                        const float grey = (red[x] + green[x] + blue[x]) / 3.f;
                        if (layout.deep)
                            reinterpret_cast<std::uint16_t*>(line)[ox] =
                                stored<std::uint16_t>(grey, max);
                        else
                            line[ox] = stored<uchar>(grey, max);
                    } else if (layout.deep) {
                        auto* pixel = reinterpret_cast<std::uint16_t*>(line) + 4 * ox;
                        pixel[0] = stored<std::uint16_t>(red[x], max);
                        pixel[1] = stored<std::uint16_t>(green[x], max);
                        pixel[2] = stored<std::uint16_t>(blue[x], max);
                        pixel[3] = layout.alpha ? stored<std::uint16_t>(alpha, max) : 65535;
                    } else {
                        const int channels = layout.alpha ? 4 : 3;
                        uchar* pixel = line + channels * ox;
                        pixel[0] = stored<uchar>(red[x], max);
                        pixel[1] = stored<uchar>(green[x], max);
                        pixel[2] = stored<uchar>(blue[x], max);
                        if (layout.alpha)
                            pixel[3] = stored<uchar>(alpha, max);
                    }
                }
            }
            ++done;
            if (progress)
                progress(double(done) / double(total));
        }
    }
    result.setColorSpace(image.colorSpace());
    return result;
}

} // namespace engine
