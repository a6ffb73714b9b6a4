// How far a batch has come and how long it still needs: the overall fraction from the images
// done and the running images' own percentages, and a time left from what the finished images
// cost per input pixel, since the upscaler's time grows with the pixel count. Also the words a
// stopped batch ends with, and the pace at which a window is told of all this.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
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
    // The image of `row` starts. The upscaler may save one image while it works on the next, so
    // two can be on the way at once.
    void Started(int row);
    // The image of `row` has come this far (0 to 1); it never goes back.
    void Advanced(int row, double fraction);
    // The image of `row`, of `pixels` input pixels (0 when unknown), has ended after
    // `milliseconds`, enlarged or not. Only an enlarged image tells what a pixel costs; a failed
    // one usually ends before the upscaler has done any work.
    void Finished(int row, std::int64_t pixels, bool enlarged, std::uint32_t milliseconds);

    int Done() const { return done_; }
    int Total() const { return total_; }
    // The images of this batch that were enlarged.
    int Enlarged() const { return enlarged_; }
    // Images done plus the share of those on the way, out of the total: 0 to 1.
    double Overall() const;
    // The time still to go, once an enlarged image has shown what a pixel costs.
    std::optional<std::uint32_t> TimeLeft() const;

private:
    // The share of the images on the way.
    double RunningShare() const;

    int total_ = 0;
    int done_ = 0;
    int enlarged_ = 0;
    std::map<int, double> running_; // row -> fraction
    std::int64_t measuredPixels_ = 0;
    double measuredMs_ = 0;
    std::int64_t seenPixels_ = 0; // of every image done, for the size of those to come
    int seen_ = 0;
};

// The status bar's "3 / 31", and the time left once it is known: the image that runs (or the
// last one) out of all.
QString ProgressText(const TBatchProgress& progress);
// The status bar's words once STOP has ended a batch: "Stopped: 7 of 12 enlarged", out of the
// images the batch set out to enlarge.
QString StoppedText(const TBatchProgress& progress);

// Passes on the latest of many updates at most once an interval: the first at once, those that
// follow within the interval together at its end. Images that fail at once report far faster than
// anyone can read, and every update of a window costs.
class TThrottle
{
public:
    TThrottle(int intervalMs, std::function<void()> show);
    // What there is to show has changed.
    void Changed();
    // Shows it now, whatever the interval says.
    void Now();
    // Forgets what waits to be shown: something newer has taken its place.
    void Drop() { timer_.stop(); }

private:
    int intervalMs_;
    std::function<void()> show_;
    QTimer timer_;
    QElapsedTimer shown_;
};
