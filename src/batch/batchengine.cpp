#include "batchengine.h"

#include "placementjournal.h"
#include "platform/tickcount.h"

TBatchEngine::TBatchEngine(const QString& tempFolder, QObject* parent)
    : QObject(parent), job_(tempFolder, this)
{
    connect(&job_, &TUpscaleJob::Finished, this, &TBatchEngine::JobFinished);
    connect(&job_, &TUpscaleJob::Progress, this,
            [this](double fraction) { emit ImageProgress(index_, fraction); });
}

void TBatchEngine::Start(const TBatchOptions& options, TImageSource images)
{
    // Placements that a crash cut off are settled before new ones begin.
    TPlacementJournal::Recover(TPlacementJournal::Folder());
    options_ = options;
    images_ = std::move(images);
    running_ = true;
    index_ = 0;
    totals_ = {};
    startTick_ = platform::GetTickCount();
    Continue();
}

void TBatchEngine::Stop()
{
    if (!running_)
        return;
    running_ = false;
    job_.Stop();
}

void TBatchEngine::Continue()
{
    // A loop, not a chain of calls: thousands of images that fail at once must not nest.
    while (running_) {
        const std::optional<TQueuedImage> image = images_(index_);
        if (!image)
            break;
        index_ = image->row;
        emit ImageStarted(index_, image->file);
        if (!running_)
            return; // stopped by a receiver of ImageStarted
        const std::optional<TImageResult> refused = job_.Start(image->file, options_);
        if (!refused)
            return;
        Account(*refused);
        emit ImageFinished(index_, *refused);
        ++index_;
    }
    if (!running_)
        return;
    running_ = false;
    totals_.elapsedMs = platform::GetTickCount() - startTick_;
    emit Finished(totals_);
}

void TBatchEngine::Account(const TImageResult& result)
{
    totals_.totalInputBytes += result.bytesIn;
    switch (result.outcome) {
    case TImageOutcome::Completed:
        ++totals_.completed;
        totals_.totalOutputBytes += result.bytesOut;
        break;
    case TImageOutcome::Failed:
        totals_.commonFailure = totals_.failed == 0 || totals_.commonFailure == result.reason
                                    ? result.reason
                                    : QString();
        ++totals_.failed;
        totals_.lastFailure = result.reason;
        break;
    case TImageOutcome::Aborted:
        ++totals_.aborted;
        break;
    }
}

void TBatchEngine::JobFinished(const TImageResult& result)
{
    Account(result);
    emit ImageFinished(index_, result);
    if (result.outcome == TImageOutcome::Aborted) {
        emit Stopped();
        return;
    }
    ++index_;
    Continue();
}
