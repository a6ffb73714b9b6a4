#include "batchengine.h"

#include "i18n/translation.h"
#include "placementjournal.h"
#include "platform/tickcount.h"

#include <QFileInfo>

TBatchEngine::TBatchEngine(const QString& tempFolder, QObject* parent)
    : QObject(parent), job_(tempFolder, this), run_(tempFolder, this)
{
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
    job_.Stop();
    run_.Stop();
}

std::vector<TQueuedImage> TBatchEngine::NextImages()
{
    std::vector<TQueuedImage> images;
    QString format;
    std::set<QString> files;
    for (int row = index_; static_cast<int>(images.size()) < imagesPerRun_; ++row) {
        std::optional<TQueuedImage> image = images_(row);
        if (!image)
            break;
        row = image->row;
        if (finished_.count(row))
            continue;
        // A change of format ends the run: list order is kept, a run has one output format. So
        // does a file listed twice: its second entry enlarges what the first one placed.
        const QString imageFormat = TMultiImageRun::UpscalerFormat(image->file, options_);
        const QString file = QFileInfo(image->file).canonicalFilePath();
        const bool otherFormat =
            !imageFormat.isEmpty() && !format.isEmpty() && imageFormat != format;
        if (!images.empty() && (otherFormat || (!file.isEmpty() && files.count(file))))
            break;
        if (format.isEmpty())
            format = imageFormat;
        files.insert(file);
        images.push_back(std::move(*image));
        if (oneByOne_)
            break;
    }
    return images;
}

void TBatchEngine::Continue()
{
    // A loop, not a chain of calls: thousands of images that fail at once must not nest.
    while (running_) {
        std::vector<TQueuedImage> images;
        if (!single_.empty()) {
            images.push_back(single_.front());
            single_.pop_front();
        } else {
            images = NextImages();
            if (images.empty())
                break;
            index_ = images.back().row + 1;
        }
        if (images.size() > 1) {
            for (const auto& [image, result] : run_.Start(images, options_)) {
                emit ImageStarted(image.row, image.file);
                Report(image.row, result);
            }
            if (run_.IsRunning())
                return;
            continue;
        }
        const TQueuedImage& image = images.front();
        jobRow_ = current_ = image.row;
        emit ImageStarted(image.row, image.file);
        if (!running_)
            return; // stopped by a receiver of ImageStarted
        const std::optional<TImageResult> refused = job_.Start(image.file, options_);
        if (!refused)
            return;
        Report(image.row, *refused);
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
        // The fast model damages dark areas on some graphics drivers, where the best one does not.
        if (result.damaged && options_.speed == TSpeed::Fast)
            totals_.advice = FillTemplate(
                TranslateText("Fast damaged images on this computer; %s gives proper results"),
                {TranslateText("Best quality")});
        break;
    case TImageOutcome::Aborted:
        ++totals_.aborted;
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
