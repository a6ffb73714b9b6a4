#include "batchengine.h"

#include "i18n/translation.h"
#include "placementjournal.h"
#include "platform/tickcount.h"

#include <QElapsedTimer>

TBatchEngine::TBatchEngine(const QString& tempFolder, QObject* parent)
    : QObject(parent), job_(tempFolder, this), run_(tempFolder, this)
{
    slice_.setSingleShot(true);
    slice_.setInterval(0);
    connect(&slice_, &QTimer::timeout, this, &TBatchEngine::Continue);
    connect(&job_, &TUpscaleJob::Finished, this, &TBatchEngine::JobFinished);
    connect(&job_, &TUpscaleJob::Progress, this,
            [this](double fraction) { emit ImageProgress(jobRow_, fraction); });
    connect(&run_, &TMultiImageRun::ImageStarted, this, [this](int row, const QString& file) {
        current_ = row;
        emit ImageStarted(row, file);
    });
    connect(&run_, &TMultiImageRun::ImageProgress, this, &TBatchEngine::ImageProgress);
    connect(&run_, &TMultiImageRun::ImageFinished, this, &TBatchEngine::Report);
    connect(&run_, &TMultiImageRun::Ended, this, &TBatchEngine::RunEnded);
}

void TBatchEngine::Start(const TBatchOptions& options, TImageSource images)
{
    // Placements that a crash cut off are settled before new ones begin.
    TPlacementJournal::Recover(TPlacementJournal::Folder());
    options_ = options;
    images_ = std::move(images);
    running_ = true;
    index_ = 0;
    current_ = 0;
    single_.clear();
    oneByOne_ = false;
    slice_.stop();
    if (gathering_)
        run_.Abandon();
    gathering_ = false;
    finished_.clear();
    totals_ = {};
    startTick_ = platform::GetTickCount();
    Continue();
}

void TBatchEngine::Stop()
{
    if (!running_)
        return;
    running_ = false;
    slice_.stop();
    if (gathering_) {
        gathering_ = false;
        run_.Abandon();
    }
    job_.Stop();
    run_.Stop();
}

std::optional<TQueuedImage> TBatchEngine::NextImage()
{
    for (int row = index_;; ++row) {
        std::optional<TQueuedImage> image = images_(row);
        if (!image || !finished_.count(image->row))
            return image;
        row = image->row;
    }
}

bool TBatchEngine::StartJob(const TQueuedImage& image)
{
    jobRow_ = current_ = image.row;
    emit ImageStarted(image.row, image.file);
    if (!running_)
        return true; // stopped by a receiver of ImageStarted
    const std::optional<TImageResult> refused = job_.Start(image.file, options_, image.origin);
    if (!refused)
        return true;
    Report(image.row, *refused);
    return false;
}

bool TBatchEngine::Gather()
{
    if (run_.Gathered() >= imagesPerRun_)
        return false;
    const std::optional<TQueuedImage> image = NextImage();
    if (!image)
        return false;
    TImageResult refusal;
    switch (run_.Add(*image, refusal)) {
    case TMultiImageRun::TAdded::OtherRun:
        return false;
    case TMultiImageRun::TAdded::Staged:
        index_ = image->row + 1;
        return true;
    case TMultiImageRun::TAdded::Refused:
        index_ = image->row + 1;
        emit ImageStarted(image->row, image->file);
        Report(image->row, refusal);
        return true;
    }
    return false;
}

bool TBatchEngine::Launch()
{
    gathering_ = false;
    if (run_.Gathered() > 1) {
        run_.Launch();
        return true;
    }
    // A single image goes by the upscaler's plain command line, as in a batch of one.
    const std::vector<TQueuedImage> images = run_.Abandon();
    return !images.empty() && StartJob(images.front());
}

void TBatchEngine::Continue()
{
    // Images that fail at once come by the thousand: the work goes in slices, and the window
    // gets its turn between them. A loop within a slice, not a chain of calls, so nothing nests.
    QElapsedTimer slice;
    slice.start();
    while (running_) {
        if (slice.elapsed() >= SliceMs) {
            slice_.start();
            return;
        }
        if (gathering_) {
            if (!Gather() && running_ && Launch())
                return;
            continue;
        }
        if (!single_.empty()) {
            const TQueuedImage image = single_.front();
            single_.pop_front();
            if (StartJob(image))
                return;
            continue;
        }
        const std::optional<TQueuedImage> image = NextImage();
        if (!image)
            break;
        if (oneByOne_ || imagesPerRun_ == 1) {
            index_ = image->row + 1;
            if (StartJob(*image))
                return;
            continue;
        }
        run_.Begin(options_);
        gathering_ = true;
    }
    if (!running_)
        return;
    running_ = false;
    totals_.elapsedMs = platform::GetTickCount() - startTick_;
    emit Finished(totals_);
}

void TBatchEngine::Report(int row, const TImageResult& result)
{
    finished_.insert(row);
    // A skipped image was neither read nor written: it leaves the size figures alone.
    if (result.outcome != TImageOutcome::Skipped)
        totals_.totalInputBytes += result.bytesIn;
    switch (result.outcome) {
    case TImageOutcome::Completed:
        ++totals_.completed;
        totals_.totalOutputBytes += result.bytesOut;
        if (!result.note.isEmpty()) {
            ++totals_.noted;
            totals_.lastNote = result.note;
        }
        break;
    case TImageOutcome::Failed:
        totals_.commonFailure = totals_.failed == 0 || totals_.commonFailure == result.reason
                                    ? result.reason
                                    : QString();
        ++totals_.failed;
        totals_.lastFailure = result.reason;
        // The row has no result in the list yet, so the source still names its file.
        if (const std::optional<TQueuedImage> image = images_ ? images_(row) : std::nullopt;
            image && image->row == row)
            totals_.failures.push_back({image->file, result.reason});
        else
            totals_.failures.push_back({QString(), result.reason});
        // The fast model damages dark areas on some graphics drivers, where the best one does not.
        if (result.damaged && options_.speed == TSpeed::Fast)
            totals_.advice = FillTemplate(
                TranslateText("Fast damaged images on this computer; %s gives proper results"),
                {TranslateText("Best quality")});
        break;
    case TImageOutcome::Aborted:
        ++totals_.aborted;
        break;
    case TImageOutcome::Skipped:
        ++totals_.skipped;
        break;
    }
    emit ImageFinished(row, result);
}

void TBatchEngine::JobFinished(const TImageResult& result)
{
    Report(jobRow_, result);
    if (result.outcome == TImageOutcome::Aborted) {
        emit Stopped();
        return;
    }
    Continue();
}

void TBatchEngine::RunEnded(const TMultiImageRun::TEnd& end)
{
    if (end.stopped) {
        emit Stopped();
        return;
    }
    // The image a run died on gets one more try on its own; the rest go on in a new run, or one
    // by one when the upscaler's lines meant nothing.
    if (end.crashed)
        single_.push_back(*end.crashed);
    if (!end.recognised)
        oneByOne_ = true;
    for (const TQueuedImage& image : end.untouched)
        index_ = std::min(index_, image.row);
    Continue();
}
