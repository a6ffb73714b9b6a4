// Whether an upscaler's output really is the enlarged image. The upscaler exits 0 when it failed,
// and a full disk leaves a file whose header still reads, so neither proves anything alone.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The size that the file's header gives, its format judged by its content; invalid when it cannot
// be read.
QSize ImageSizeOf(const QString& path);

// The pixels as the file stores them, its format judged by its content and no orientation tag
// applied: what the upscaler reads and writes. Null when the file cannot be decoded.
QImage StoredPixels(const QString& path);
// Lifts Qt's guard against oversized images (128 MB of pixels, about 32 megapixels) to what an
// enlarged photo needs: a 4x result of a 3-megapixel photo is already beyond it. Once per
// process; StoredPixels does it itself.
void AllowLargeImages();

// True when the file ends where its own format says it ends: a PNG with its IEND chunk, a JPEG
// with its end-of-image marker, a WebP where its RIFF size says. Other formats must decode whole.
bool ImageFileIsComplete(const QString& path);

// True when `output` is a complete image file larger than `input` in both dimensions. When the
// input's size cannot be read, any complete output image counts.
bool OutputIsEnlarged(const QString& input, const QString& output);

// What an upscaler's enlarged pixels show next to the pixels it was given.
enum class TLikeness { Alike, Empty, Damaged };

// Below this many decibels of likeness a result shows something else than its input: good
// results measured 23 dB and more, damaged ones 18 dB and less.
constexpr double LeastLikeness = 20;

// What the judgement measures of a result scaled back to its input's size.
struct TLikenessFigures {
    static constexpr double Identical = 99; // the likeness of a result that gives its input again
    bool flat = false;                      // one single colour, where the input has more
    double likeness = 0;                    // dB between the mean colours of small squares of both
    int darkSquares = 0;                    // squares of two pixels that are dark in the input
    int turnedBright = 0;                   // of those, the ones that came back bright
};
TLikenessFigures MeasureLikeness(const QImage& input, const QImage& enlarged);
TLikeness JudgeLikeness(const TLikenessFigures& figures);

// Scales `enlarged` back to the size of `input` and compares the two. A complete file of the right
// size proves nothing: under load the upscaler has written all-black images, and its fast model
// turns dark areas into bright noise on some drivers. Empty when the colour channels hold one
// single value while the input's do not; damaged when it no longer resembles the input.
TLikeness CompareWithInput(const QImage& input, const QImage& enlarged);
