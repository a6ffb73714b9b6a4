// A batch of images through the upscaler, one after the other: the queue, STOP, the totals and
// the clock. It knows no window; it reports what happens through its signals.
#pragma once

#include "batchoptions.h"
#include "batchsummary.h"
#include "multiimagerun.h"
#include "upscalejob.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>

class TBatchEngine : public QObject
{
    Q_OBJECT

public:
    using TQueuedImage = ::TQueuedImage;
    // The first image at or after `fromRow` that the batch is to enlarge, or nothing when none
    // is left. Asked afresh for every image, so images added while the batch runs are enlarged
    // too, and rows that need no work are passed over.
    using TImageSource = std::function<std::optional<TQueuedImage>(int fromRow)>;

    // `tempFolder`: this instance's private folder for the upscaler's output (see TUpscaleJob).
    explicit TBatchEngine(const QString& tempFolder, QObject* parent = nullptr);

    // Starts a batch at row 0. Images that need no upscaler to fail are gone through in slices
    // of work with turns of the event loop between them. Precondition: !IsBusy().
    void Start(const TBatchOptions& options, TImageSource images);
    // Ends the batch: the running upscaler is killed, its image becomes Aborted and no other
    // image starts. Stopped follows once the upscaler has ended; with none running, the batch is
    // over at once and nothing follows.
    void Stop();
    // A batch runs and has not been stopped.
    bool IsRunning() const { return running_; }
    // An upscaler still runs, also one that was stopped and has not ended yet.
    bool IsBusy() const { return job_.IsRunning() || run_.IsRunning(); }
    // The row of the image the upscaler works on, or worked on last.
    int CurrentIndex() const { return current_; }
    // The running upscaler's process id, else 0.
    std::uint32_t ProcessId() const
    {
        return job_.IsRunning() ? job_.ProcessId() : run_.ProcessId();
    }

    // Images one upscaler run takes at most (1: one run per image): the staging and the
    // bookkeeping stay small for batches of thousands.
    void SetImagesPerRun(int images) { imagesPerRun_ = std::max(images, 1); }
    const TBatchSummary& Totals() const { return totals_; }

signals:
    void ImageStarted(int row, const QString& file);
    // The running image has come this far (0 to 1).
    void ImageProgress(int row, double fraction);
    void ImageFinished(int row, const TImageResult& result);
    // A stopped batch's last upscaler has ended.
    void Stopped();
    // Every image has had its turn.
    void Finished(const TBatchSummary& summary);

private:
    // The longest stretch of work between two turns of the event loop.
    static constexpr int SliceMs = 20;

    // Starts the next image or run that can start; Finished when none is left.
    void Continue();
    // The first image from the next row on that has no result in this batch yet.
    std::optional<TQueuedImage> NextImage();
    // Starts the upscaler on one image; false when the image failed at once and the batch goes
    // on.
    bool StartJob(const TQueuedImage& image);
    // Offers the next image to the run being gathered: staged, or failed at once; false when the
    // run is complete without it.
    bool Gather();
    // Starts the gathered run; false when no upscaler started and the batch goes on.
    bool Launch();
    void Report(int row, const TImageResult& result);
    void JobFinished(const TImageResult& result);
    void RunEnded(const TMultiImageRun::TEnd& end);

    TUpscaleJob job_;
    TMultiImageRun run_;
    bool gathering_ = false; // run_ takes the images of the next run
    QTimer slice_;           // the next slice of work
    int jobRow_ = 0;
    // Images that go one by one before any new run: one a run died on, or all after a run whose
    // lines were not understood.
    std::deque<TQueuedImage> single_;
    bool oneByOne_ = false;
    int imagesPerRun_ = 1000;
    std::set<int> finished_; // rows that have their result in this batch
    int current_ = 0;
    TBatchOptions options_;
    TImageSource images_;
    bool running_ = false;
    int index_ = 0;
    std::uint32_t startTick_ = 0;
    TBatchSummary totals_;
};
