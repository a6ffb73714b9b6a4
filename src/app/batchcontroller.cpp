#include "batchcontroller.h"

#include "i18n/translation.h"
#include "imagelistmodel.h"

#include <QFileInfo>
#include <algorithm>

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
        MissingModelFiles(options.upscalerFolder, options.imageType, options.speed);
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
      engine_(new TBatchEngine(tempFolder, this))
{
    engine_->setObjectName(QStringLiteral("batchEngine"));
    connect(engine_, &TBatchEngine::ImageStarted, this, &BatchController::onImageStarted);
    connect(engine_, &TBatchEngine::ImageProgress, this, &BatchController::onImageProgress);
    connect(engine_, &TBatchEngine::ImageFinished, this, &BatchController::onImageFinished);
    connect(engine_, &TBatchEngine::Stopped, this, &BatchController::idle);
    connect(engine_, &TBatchEngine::Finished, this, &BatchController::onFinished);
    connect(&images_, &ImageListModel::countChanged, this, &BatchController::onCountChanged);
}

BatchController::~BatchController()
{
    delete engine_;
}

TStartCheck BatchController::start(const TOptionChoices& choices)
{
    const TImageEntries& entries = images_.entries();
    const TStartCheck check = CheckStart(entries, choices, upscalerFolder_);
    if (check.refusal != TStartRefusal::None)
        return check;
    options_ = BatchOptionsOf(choices, upscalerFolder_);
    int waiting = 0;
    for (int row = 0; row < images_.count(); ++row) {
        if (!entries[static_cast<size_t>(row)].completed) {
            images_.setResult(row, QString(), false, QString());
            ++waiting;
        }
    }
    progress_.Begin(waiting);
    rowsKnownToProgress_ = images_.count();
    emit started();
    reportProgress();
    engine_->Start(options_, [this](int fromRow) -> std::optional<TBatchEngine::TQueuedImage> {
        const TImageEntries& list = images_.entries();
        for (auto row = static_cast<size_t>(std::max(fromRow, 0)); row < list.size(); ++row) {
            if (!list[row].completed)
                return TBatchEngine::TQueuedImage{static_cast<int>(row), list[row].path};
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
    emit statusMessage(TranslateText("Aborted"));
    if (!engine_->IsBusy())
        emit idle();
}

void BatchController::onCountChanged(int count)
{
    if (engine_->IsRunning() && count > rowsKnownToProgress_) {
        progress_.Grow(count - rowsKnownToProgress_);
        rowsKnownToProgress_ = count;
        reportProgress();
    }
}

void BatchController::reportProgress()
{
    emit progressChanged(progress_.Overall(), ProgressText(progress_));
}

void BatchController::onImageStarted(int row, const QString& file)
{
    progress_.Started();
    images_.setStatus(row, TranslateText("Processing..."));
    emit statusMessage(FillTemplate(TranslateText("Resizing %s..."), {file}));
    emit imageStarted(row);
    reportProgress();
}

void BatchController::onImageProgress(int row, double fraction)
{
    progress_.Advanced(fraction);
    images_.setStatus(row, TranslateText("Processing...") +
                               QStringLiteral(" %1%").arg(static_cast<int>(fraction * 100)));
    reportProgress();
}

void BatchController::onImageFinished(int row, const TImageResult& result)
{
    const bool completed = result.outcome == TImageOutcome::Completed;
    switch (result.outcome) {
    case TImageOutcome::Completed:
        // What a completed image lost shows where a failed one's reason would.
        images_.setResult(row, TranslateText("Completed"), true, result.note);
        if (!result.note.isEmpty())
            emit statusMessage(result.note);
        break;
    case TImageOutcome::Failed:
        images_.setResult(row, TranslateText("Failed"), false, result.reason);
        emit statusMessage(result.reason);
        break;
    case TImageOutcome::Aborted:
        images_.setResult(row, TranslateText("Aborted"), false, result.reason);
        return;
    }
    progress_.Finished(result.pixels, completed, result.milliseconds);
    reportProgress();
}

void BatchController::onFinished(const TBatchSummary& summary)
{
    emit idle();
    emit statusMessage(EndingText(summary));
    emit finished(summary, ResultsFolderOf(images_.entries(), options_));
}
