#include "outputcheck.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace
{

// A square this dark (0 to 255) ...
constexpr double kDark = 48;
// ... that comes back this bright has been turned into noise.
constexpr double kBright = 128;

// Premultiplied, so that what a transparent pixel hides counts for nothing.
QImage comparable(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The mean colour of each square of `side` pixels of a comparable image.
struct TBlockMeans {
    int columns = 0;
    int rows = 0;
    std::vector<std::array<double, 4>> means; // red, green, blue, alpha; row by row

    TBlockMeans(const QImage& pixels, int side)
    {
        columns = (pixels.width() + side - 1) / side;
        rows = (pixels.height() + side - 1) / side;
        means.assign(static_cast<size_t>(columns) * static_cast<size_t>(rows), {});
        std::vector<int> counts(means.size(), 0);
        for (int y = 0; y < pixels.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            for (int x = 0; x < pixels.width(); ++x) {
                const size_t block = static_cast<size_t>(y / side) * static_cast<size_t>(columns) +
                                     static_cast<size_t>(x / side);
                auto& mean = means[block];
                mean[0] += qRed(line[x]);
                mean[1] += qGreen(line[x]);
                mean[2] += qBlue(line[x]);
                mean[3] += qAlpha(line[x]);
                ++counts[block];
            }
        }
        for (size_t block = 0; block < means.size(); ++block)
            for (double& channel : means[block])
                channel /= counts[block];
    }
};

double brightness(const std::array<double, 4>& colour)
{
    return (colour[0] + colour[1] + colour[2]) / 3;
}

// Every pixel of a comparable image has the same colour.
bool isFlat(const QImage& pixels)
{
    const QRgb first = pixels.pixel(0, 0) & 0xffffffu;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            if ((line[x] & 0xffffffu) != first)
                return false;
    }
    return true;
}

} // namespace

void AllowLargeImages()
{
    // A 4x result of a 100-megapixel photo in 16-bit colour; a header that claims more than the
    // machine can hold fails its allocation and reads as no image.
    constexpr int largestImageMegabytes = 16384;
    static const bool allowed = [] {
        if (QImageReader::allocationLimit() != 0)
            QImageReader::setAllocationLimit(largestImageMegabytes);
        return true;
    }();
    (void)allowed;
}

QImage StoredPixels(const QString& path)
{
    AllowLargeImages();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    return reader.read();
}

QSize ImageSizeOf(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.size();
}

bool ImageFileIsComplete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray head = file.read(12);
    QByteArray tail;
    if (size >= 12 && file.seek(size - 12))
        tail = file.read(12);

    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return tail == QByteArrayView("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    if (head.startsWith("\xff\xd8\xff"))
        return tail.endsWith("\xff\xd9");
    if (head.size() == 12 && head.startsWith("RIFF") && head.mid(8) == "WEBP") {
        const quint32 riffSize = qFromLittleEndian<quint32>(head.constData() + 4);
        return qint64(riffSize) + 8 == size;
    }
    return !StoredPixels(path).isNull();
}

bool OutputIsEnlarged(const QString& input, const QString& output)
{
    const QFileInfo info(output);
    if (!info.isFile() || info.size() <= 0)
        return false;
    const QSize enlarged = ImageSizeOf(output);
    if (!enlarged.isValid() || !ImageFileIsComplete(output))
        return false;
    const QSize original = ImageSizeOf(input);
    if (!original.isValid())
        return true;
    return enlarged.width() > original.width() && enlarged.height() > original.height();
}

TLikenessFigures MeasureLikeness(const QImage& input, const QImage& enlarged)
{
    // Scaled back by averaging, a good enlargement gives the input again up to its edges, which
    // the model sharpens; the means of small squares leave those out and keep what an image shows.
    const QImage given = comparable(input);
    const QImage back =
        comparable(enlarged.scaled(input.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    TLikenessFigures figures;
    figures.flat = isFlat(back) && !isFlat(given);

    const int side = std::clamp(std::min(given.width(), given.height()) / 4, 1, 4);
    const TBlockMeans wanted(given, side);
    const TBlockMeans made(back, side);
    double squares = 0;
    for (size_t block = 0; block < wanted.means.size(); ++block)
        for (size_t channel = 0; channel < 4; ++channel)
            squares += std::pow(wanted.means[block][channel] - made.means[block][channel], 2);
    const double meanSquare = squares / (4.0 * static_cast<double>(wanted.means.size()));
    figures.likeness =
        meanSquare > 0 ? 10 * std::log10(255.0 * 255.0 / meanSquare) : TLikenessFigures::Identical;

    // The fast model turns dark areas into bright noise on some drivers, often in an image that
    // otherwise resembles its input; in good results no dark square came back bright.
    const TBlockMeans darkWanted(given, 2);
    const TBlockMeans darkMade(back, 2);
    for (size_t block = 0; block < darkWanted.means.size(); ++block) {
        const auto& colour = darkWanted.means[block];
        if (brightness(colour) >= kDark || colour[3] <= 128)
            continue;
        ++figures.darkSquares;
        if (brightness(darkMade.means[block]) > kBright)
            ++figures.turnedBright;
    }
    return figures;
}

TLikeness JudgeLikeness(const TLikenessFigures& figures)
{
    if (figures.flat)
        return TLikeness::Empty;
    if (figures.likeness < LeastLikeness)
        return TLikeness::Damaged;
    // More than one in a hundred.
    return figures.turnedBright * 100 > figures.darkSquares ? TLikeness::Damaged : TLikeness::Alike;
}

TLikeness CompareWithInput(const QImage& input, const QImage& enlarged)
{
    return JudgeLikeness(MeasureLikeness(input, enlarged));
}
