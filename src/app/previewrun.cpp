#include "previewrun.h"

#include "i18n/translation.h"
#include "offthread.h"
#include "previewcrop.h"

#include <QDir>

PreviewRun::PreviewRun(const QString& folder, const QString& upscalerFolder, QObject* parent)
    : QObject(parent), folder_(folder), upscalerFolder_(upscalerFolder), job_(folder)
{
    connect(&job_, &TUpscaleJob::Progress, this, &PreviewRun::progress);
    connect(&job_, &TUpscaleJob::Finished, this, &PreviewRun::end);
}

PreviewRun::~PreviewRun() = default;

TBatchOptions PreviewRun::OptionsOf(const TOptionChoices& choices, const QString& upscalerFolder,
                                    const QString& folder)
{
    TBatchOptions options = BatchOptionsOf(choices, upscalerFolder);
    options.action = TAction::CreateCopies;
    options.destination = folder + QStringLiteral("results/");
    options.outputFormat = TOutputFormat::Png;
    options.keepMetadata = false;
    // The results are the preview's own files: named as the part, never skipped or replacing.
    const TBatchOptions plain;
    options.keepFolderStructure = plain.keepFolderStructure;
    options.copyName = plain.copyName;
    options.whenNameTaken = plain.whenNameTaken;
    return options;
}

void PreviewRun::start(const QString& image, QPointF centre, const TOptionChoices& choices)
{
    image_ = image;
    choices_ = choices;
    part_.clear();
    if (folder_.isEmpty() || !QDir().mkpath(folder_ + QStringLiteral("results"))) {
        end(FailedImage(TranslateText("The private temporary folder cannot be used"), 0));
        return;
    }
    part_ = folder_ + QStringLiteral("part-%1.png").arg(++parts_);
    // Reading a large photo takes a while; the window stays with the user meanwhile.
    cutting_ = RunOffThread<TPreviewCut>(
        this, [image, centre, part = part_] { return WritePreviewCrop(image, centre, part); },
        [this](TPreviewCut outcome) {
            cutting_ = nullptr;
            cut(outcome);
        });
}

void PreviewRun::cut(TPreviewCut outcome)
{
    switch (outcome) {
    case TPreviewCut::Unreadable:
        end(FailedImage(FillTemplate(TranslateText("Not an image the program can read: %s"),
                                     {QDir::toNativeSeparators(image_)}),
                        0));
        return;
    case TPreviewCut::Unwritable:
        end(FailedImage(TranslateText("The private temporary folder cannot be used"), 0));
        return;
    case TPreviewCut::Written:
        break;
    }
    if (std::optional<TImageResult> refused =
            job_.Start(part_, OptionsOf(choices_, upscalerFolder_, folder_)))
        end(*refused);
}

void PreviewRun::stop()
{
    if (cutting_) {
        DropOffThread(cutting_);
        TImageResult aborted;
        aborted.outcome = TImageOutcome::Aborted;
        end(aborted);
    } else {
        job_.Stop();
    }
}

void PreviewRun::end(const TImageResult& result)
{
    emit finished(QFileInfo::exists(part_) ? part_ : QString(), result);
}
