// How far a batch has come and how long it still needs: the overall fraction from the images
// done and the running image's own percentage, and a time left from what the finished images
// cost per input pixel, since the upscaler's time grows with the pixel count.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The fraction of a percentage line of the upscaler ("42.50%", or "42,50%" under a locale with a
// decimal comma), 0 to 1; nothing for any other line.
std::optional<double> PercentageOf(const QString& line);

class TBatchProgress
{
public:
    // A batch of `total` images begins.
    void Begin(int total);
    // Images added to the batch while it runs.
    void Grow(int images) { total_ += images; }
    // An image starts.
    void Started();
    // The running image has come this far (0 to 1); it never goes back.
    void Advanced(double fraction);
    // The running image, of `pixels` input pixels (0 when unknown), has ended after
    // `milliseconds`. Only an enlarged image tells what a pixel costs; a failed one usually ends
    // before the upscaler has done any work.
    void Finished(std::int64_t pixels, bool enlarged, std::uint32_t milliseconds);

    int Done() const { return done_; }
    int Total() const { return total_; }
    // Images done plus the running image's fraction, out of the total: 0 to 1.
    double Overall() const;
    // The time still to go, once an enlarged image has shown what a pixel costs.
    std::optional<std::uint32_t> TimeLeft() const;

private:
    int total_ = 0;
    int done_ = 0;
    bool running_ = false;
    double fraction_ = 0;
    std::int64_t measuredPixels_ = 0;
    double measuredMs_ = 0;
    std::int64_t seenPixels_ = 0; // of every image done, for the size of those to come
    int seen_ = 0;
};

// The status bar's "3 / 31", and the time left once it is known: the image that runs (or the
// last one) out of all.
QString ProgressText(const TBatchProgress& progress);
