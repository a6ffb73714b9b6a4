#include "batchcontroller.h"

#include "batch/copynaming.h"
#include "i18n/shownnumbers.h"
#include "i18n/translation.h"
#include "imagecheck.h"
#include "imagelistmodel.h"

#include <QFileInfo>
#include <algorithm>

namespace
{

// How often the window learns what a running batch does: the latest of each, a few times a second.
constexpr int ShowEveryMs = 100;

} // namespace

TStartCheck CheckStart(const TImageEntries& entries, const TOptionChoices& choices,
                       const QString& upscalerFolder)
{
    if (entries.empty())
        return {TStartRefusal::NoImages, TranslateText("No image files have been added!")};
    // What is enlarged already is never enlarged again: after a STOP, Start goes on with the rest.
    if (std::all_of(entries.begin(), entries.end(),
                    [](const TImageEntry& entry) { return entry.completed; }))
        return {TStartRefusal::AllEnlarged,
                TranslateText("Every image in the list has been enlarged already.")};
    const TBatchOptions options = BatchOptionsOf(choices, upscalerFolder);
    // Before any folder is made: a pattern that can name no copy leaves everything as it was.
    if (options.action == TAction::CreateCopies) {
        if (const QString fault = CopyNameFault(options.copyName); !fault.isEmpty())
            return {TStartRefusal::BadCopyName, fault};
    }
    // An emptied folder box names no folder at all, which is not the same as "beside".
    const bool noFolder = options.action == TAction::CreateCopies && !choices.besideOriginals &&
                          choices.destinationFolder.isEmpty();
    switch (noFolder ? TDestinationCheck::Missing : PrepareDestination(options)) {
    case TDestinationCheck::Ready:
        break;
    case TDestinationCheck::Missing:
        return {TStartRefusal::NoDestination, TranslateText("Directory does not exist!")};
    case TDestinationCheck::NotWritable:
        return {TStartRefusal::DestinationNotWritable,
                TranslateText("Unable to write to directory!")};
    }
    const QStringList missingModel =
        MissingModelFiles(options.upscalerFolder, options.imageType, options.speed, options.scale);
    if (!missingModel.isEmpty()) {
        QStringList names;
        for (const QString& file : missingModel)
            names << QFileInfo(file).fileName();
        return {TStartRefusal::ModelMissing,
                FillTemplate(TranslateText("The model of this image type is missing: %s. Its "
                                           "files belong in the folder %s"),
                             {names.join(QStringLiteral(", ")), ModelFolder(upscalerFolder)})};
    }
    return {};
}

QString ResultsFolderOf(const TImageEntries& entries, const TBatchOptions& options)
{
    if (options.action == TAction::ResizeOriginal || options.destination.isEmpty())
        return entries.empty() ? QString() : QFileInfo(entries.front().path).absolutePath();
    return options.destination;
}

BatchController::BatchController(ImageListModel& images, const QString& tempFolder,
                                 const QString& upscalerFolder, QObject* parent)
    : QObject(parent), images_(images), tempFolder_(tempFolder), upscalerFolder_(upscalerFolder),
      engine_(new TBatchEngine(tempFolder, this)),
      statusShown_(ShowEveryMs, [this] { emit statusMessage(status_); }),
      progressShown_(ShowEveryMs, [this] { reportProgress(); }),
      startedShown_(ShowEveryMs, [this] { showStarted(); })
{
    engine_->setObjectName(QStringLiteral("batchEngine"));
    connect(engine_, &TBatchEngine::ImageStarted, this, &BatchController::onImageStarted);
    connect(engine_, &TBatchEngine::ImageProgress, this, &BatchController::onImageProgress);
    connect(engine_, &TBatchEngine::ImageFinished, this, &BatchController::onImageFinished);
    connect(engine_, &TBatchEngine::Stopped, this, &BatchController::onStopped);
    connect(engine_, &TBatchEngine::Finished, this, &BatchController::onFinished);
    connect(&images_, &ImageListModel::countChanged, this, &BatchController::onCountChanged);
}

BatchController::~BatchController()
{
    delete engine_;
}

TStartCheck BatchController::start(const TOptionChoices& choices)
{
    // A file that appeared or changed since it was listed is the batch's to judge.
    images_.forgetChangedChecks();
    const TImageEntries& entries = images_.entries();
    const TStartCheck check = CheckStart(entries, choices, upscalerFolder_);
    if (check.refusal != TStartRefusal::None)
        return check;
    options_ = BatchOptionsOf(choices, upscalerFolder_);
    // The trash keeps whole seconds; an original this batch sends there is found from here on.
    startedAt_ = QDateTime::currentDateTime().addSecs(-1);
    int waiting = 0;
    // A file the check found missing or unreadable is not tried: it fails at once, with the
    // reason the batch would give, whether or not the check had reached it before.
    passedOver_ = images_.failRefusedRows();
    checkFailures_ = {};
    for (int row = 0; row < images_.count(); ++row) {
        const TImageEntry& entry = entries[static_cast<size_t>(row)];
        if (entry.completed)
            continue;
        if (passedOver_[static_cast<size_t>(row)]) {
            CountCheckFailure(checkFailures_, entry, entry.reason);
        } else {
            images_.setResult(row, QString(), false, QString());
            ++waiting;
        }
    }
    progress_.Begin(waiting);
    rowsKnownToProgress_ = images_.count();
    stopping_ = false;
    startedRow_ = -1;
    lastCompletedRow_ = -1;
    emit started();
    progressShown_.Now();
    engine_->Start(options_, [this](int fromRow) -> std::optional<TBatchEngine::TQueuedImage> {
        const TImageEntries& list = images_.entries();
        for (auto row = static_cast<size_t>(std::max(fromRow, 0)); row < list.size(); ++row) {
            if (!list[row].completed && !(row < passedOver_.size() && passedOver_[row]))
                return TBatchEngine::TQueuedImage{static_cast<int>(row), list[row].path,
                                                  list[row].origin};
        }
        return std::nullopt;
    });
    return check;
}

void BatchController::stop()
{
    if (!engine_->IsRunning())
        return;
    engine_->Stop();
    stopping_ = true;
    statusShown_.Drop();
    startedShown_.Drop();
    progressShown_.Now();
    emit stopped();
    emit statusMessage(StoppedText(progress_));
    if (!engine_->IsBusy())
        emit idle();
}

void BatchController::onStopped()
{
    // What the upscaler finished between STOP and its end counts too.
    progressShown_.Now();
    emit statusMessage(StoppedText(progress_));
    emit idle();
}

void BatchController::onCountChanged(int count)
{
    if (engine_->IsRunning() && count > rowsKnownToProgress_) {
        progress_.Grow(count - rowsKnownToProgress_);
        rowsKnownToProgress_ = count;
        progressShown_.Changed();
    }
}

void BatchController::reportProgress()
{
    emit progressChanged(progress_.Overall(), ProgressText(progress_));
}

void BatchController::showStarted()
{
    if (startedRow_ < 0)
        return;
    if (startedRuns_)
        images_.setStatus(startedRow_, TranslateText("Processing..."));
    startedRuns_ = false;
    emit imageStarted(startedRow_);
}

void BatchController::onImageStarted(int row, const QString& file)
{
    progress_.Started(row);
    if (stopping_)
        return;
    // An image that fails at once has its result before anyone could read that it started.
    startedRow_ = row;
    startedRuns_ = true;
    startedShown_.Changed();
    status_ = FillTemplate(TranslateText("Resizing %s..."), {file});
    statusShown_.Changed();
    progressShown_.Changed();
}

void BatchController::onImageProgress(int row, double fraction)
{
    // Lines the upscaler wrote before STOP reached it say nothing any more: its image is aborted,
    // and the bar stays where the batch stopped.
    if (stopping_)
        return;
    progress_.Advanced(row, fraction);
    if (row == startedRow_)
        startedRuns_ = false;
    images_.setStatus(row, TranslateText("Processing...") + QLatin1Char(' ') +
                               ShownNumber(static_cast<int>(fraction * 100)) + QLatin1Char('%'));
    progressShown_.Changed();
}

void BatchController::onImageFinished(int row, const TImageResult& result)
{
    const bool completed = result.outcome == TImageOutcome::Completed;
    if (row == startedRow_)
        startedRuns_ = false;
    QString status;
    switch (result.outcome) {
    case TImageOutcome::Completed:
        // What a completed image lost shows where a failed one's reason would.
        images_.setResult(row, TranslateText("Completed"), true, result.note);
        images_.setPlacement(row, result.target,
                             options_.action == TAction::CreateCopies ? TImageEntry::TOriginal::Kept
                             : options_.disposal == TDisposal::RecycleBin
                                 ? TImageEntry::TOriginal::Trashed
                                 : TImageEntry::TOriginal::Deleted,
                             startedAt_);
        status = result.note;
        lastCompletedRow_ = row;
        break;
    case TImageOutcome::Failed:
        images_.setResult(row, TranslateText("Failed"), false, result.reason);
        status = result.reason;
        break;
    case TImageOutcome::Aborted:
        images_.setResult(row, TranslateText("Aborted"), false, result.reason);
        return;
    case TImageOutcome::Skipped:
        // Not enlarged, so a later Start looks again: the copy may have gone by then.
        images_.setResult(row, TranslateText("Skipped"), false, QString());
        break;
    }
    if (!status.isEmpty() && !stopping_) {
        status_ = status;
        statusShown_.Changed();
    }
    progress_.Finished(row, result.pixels, completed, result.milliseconds);
    progressShown_.Changed();
}

void BatchController::onFinished(const TBatchSummary& totals)
{
    // A batch resumed after STOP is one batch to the user: what the stopped run enlarged counts.
    TBatchSummary summary = WithCheckFailures(totals, checkFailures_);
    const TImageEntries& entries = images_.entries();
    summary.completedInList = static_cast<int>(std::count_if(
        entries.begin(), entries.end(), [](const TImageEntry& entry) { return entry.completed; }));
    // The end shows the whole batch, and its words replace those of its last image.
    statusShown_.Drop();
    startedShown_.Drop();
    progressShown_.Now();
    emit idle();
    emit statusMessage(EndingText(summary));
    emit finished(summary, ResultsFolderOf(entries, options_));
}
