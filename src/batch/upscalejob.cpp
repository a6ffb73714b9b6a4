#include "upscalejob.h"

#include "batchprogress.h"
#include "copynaming.h"
#include "i18n/translation.h"
#include "outputcheck.h"
#include "photometadata.h"
#include "placement.h"
#include "platform/files.h"
#include "platform/tickcount.h"
#include "runner/commandline.h"
#include "runner/consolerunner.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <sys/stat.h>

namespace
{

TImageResult failed(const QString& reason, std::int64_t bytesIn)
{
    return FailedImage(reason, bytesIn);
}

QString withTemplate(const char* text, const QString& value)
{
    return FillTemplate(TranslateText(text), {value});
}

TImageResult skipped(std::int64_t bytesIn, const QString& target)
{
    return {TImageOutcome::Skipped, {}, bytesIn, 0, target, 0, 0, {}, false};
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat first {
    };
    struct stat second {
    };
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Whether anything stands under the name: a file, a folder or a link, even a broken one.
bool taken(const QString& path, struct stat& st)
{
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString ownNameReason(const QString& input)
{
    // Skipping would skip every image, and replacing would replace the originals the user chose
    // to keep: the copy needs a name of its own.
    return withTemplate("The copy would take the original's own name; change the copy name: %s",
                        input);
}

// Places the copy as the options say: a new name when its own is taken, no copy at all, or the
// file of that name replaced as safely as an original.
TPlacement placeCopy(const TBatchOptions& options, const TImagePlan& plan, const QString& input,
                     const QString& enlarged)
{
    if (!options.destination.isEmpty()) {
        if (const QString fault = MakeCopyFolder(options.destination, plan.copyFolder);
            !fault.isEmpty())
            return {false, {}, fault};
    }
    const QString target = plan.copyFolder + plan.savedName;
    struct stat st {
    };
    if (options.whenNameTaken == TNameTaken::Replace && taken(target, st)) {
        if (sameFile(target, input))
            return {false, {}, ownNameReason(input)};
        if (!S_ISREG(st.st_mode))
            return {false,
                    {},
                    withTemplate("The name is taken by something that is not a file: %s", target)};
        return ReplaceOriginal(target, enlarged, options.disposal);
    }
    return PlaceCopy(plan.copyFolder, input, enlarged, plan.savedName,
                     options.whenNameTaken != TNameTaken::Skip);
}

} // namespace

TImageResult FailedImage(const QString& reason, std::int64_t bytesIn)
{
    return {TImageOutcome::Failed, reason, bytesIn, 0, {}, 0, 0, {}, false};
}

std::int64_t PixelsOf(const QString& path)
{
    const QSize size = ImageSizeOf(path);
    return size.isValid() ? std::int64_t(size.width()) * size.height() : 0;
}

std::optional<TImageResult> RefusedImage(const QString& input, const QString& origin,
                                         const TBatchOptions& options, const QString& tempFolder,
                                         std::int64_t& bytesIn, TImagePlan& plan)
{
    const std::int64_t size = platform::FileSizeOf(input);
    bytesIn = size < 0 ? 0 : size;
    if (size < 0 || !QFileInfo(input).isFile())
        return failed(withTemplate("Image file not found: %s", input), bytesIn);
    std::variant<TImagePlan, QString> planned = PlanImage(input, options);
    if (const QString* reason = std::get_if<QString>(&planned))
        return failed(*reason, bytesIn);
    plan = std::get<TImagePlan>(std::move(planned));
    if (options.action == TAction::CreateCopies) {
        const TCopyFolder place = CopyFolderOf(options, input, origin);
        if (!place.fault.isEmpty())
            return failed(place.fault, bytesIn);
        plan.copyFolder = place.folder;
        plan.savedName = CopyFileName(options, input, plan.savedName);
        // Decided before any work, so a run over finished images costs nothing.
        if (options.whenNameTaken != TNameTaken::AddNumber) {
            const QString target = plan.copyFolder + plan.savedName;
            struct stat st {
            };
            if (sameFile(target, input))
                return failed(ownNameReason(input), bytesIn);
            if (options.whenNameTaken == TNameTaken::Skip && taken(target, st))
                return skipped(bytesIn, target);
        }
    }
    if (tempFolder.isEmpty())
        return failed(TranslateText("The private temporary folder cannot be used"), bytesIn);
    // Without its model the upscaler still writes an image, an all-black one: never start it so.
    const QString program = EngineProgram(options);
    if (!QFileInfo(program).isFile() || !QFileInfo(program).isExecutable())
        return failed(withTemplate("Upscaler not found: %s", program), bytesIn);
    const QStringList missing =
        MissingModelFiles(options.upscalerFolder, options.imageType, options.speed, options.scale);
    if (!missing.isEmpty())
        return failed(withTemplate("Model file not found: %s", missing.front()), bytesIn);
    return std::nullopt;
}

QString ReasonOfErrorLine(const QString& line, const QString& input)
{
    // The upscaler exits 0 after these, so its word is the only sign of the failure.
    if (line.contains(QLatin1String("Couldn't read the image")))
        return withTemplate("The upscaler could not read the image: %s", input);
    if (line.contains(QLatin1String("Couldn't write the image")))
        return withTemplate("The upscaler could not write the enlarged image: %s", input);
    return {};
}

TImageResult PlaceOutput(const TBatchOptions& options, const TImagePlan& plan, const QString& input,
                         const QString& output, std::int64_t bytesIn)
{
    // Decoded once: judged against the input and, where the plan says so, finished from the same
    // pixels.
    const QImage enlarged = OutputIsEnlarged(input, output) ? StoredPixels(output) : QImage();
    if (enlarged.isNull())
        return failed(withTemplate("The upscaler gave no complete enlarged image: %s", input),
                      bytesIn);
    const QImage given = StoredPixels(input);
    if (given.isNull())
        return failed(withTemplate("Not an image the program can read: %s", input), bytesIn);
    switch (CompareWithInput(given, enlarged)) {
    case TLikeness::Alike:
        break;
    case TLikeness::Empty:
        return failed(TranslateText("The upscaler returned an empty image"), bytesIn);
    case TLikeness::Damaged: {
        TImageResult damaged =
            failed(TranslateText("The upscaler returned a damaged image"), bytesIn);
        damaged.damaged = true;
        return damaged;
    }
    }
    QString result = output;
    const QString finished = output + QStringLiteral(".finished");
    const auto removeFinished = qScopeGuard([&] { QFile::remove(finished); });
    if (plan.reencode) {
        if (!FinishImage(enlarged, finished, plan, options, given.size()))
            return failed(withTemplate("The enlarged image could not be saved: %s", input),
                          bytesIn);
        result = finished;
    }
    QString note;
    QString metadataError;
    if (options.keepMetadata && !CopyPhotoMetadata(input, result, metadataError))
        note = withTemplate("Metadata could not be kept: %s", input);
    // Checked after every step that wrote to it: what is placed is whole.
    if (!ImageFileIsComplete(result))
        return failed(withTemplate("The enlarged image could not be saved: %s", input), bytesIn);
    const std::int64_t bytesOut = platform::FileSizeOf(result);
    TPlacement placed;
    if (options.action == TAction::ResizeOriginal) {
        placed = ReplaceOriginal(input, result, options.disposal);
    } else {
        placed = placeCopy(options, plan, input, result);
    }
    // Another image of the batch, or another program, took the name while this one was enlarged.
    if (placed.taken)
        return skipped(bytesIn, placed.target);
    if (!placed.ok)
        return failed(placed.reason, bytesIn);
    return {TImageOutcome::Completed, {}, bytesIn, bytesOut, placed.target, 0, 0, note, false};
}

QString UpscalerCommandLine(const TBatchOptions& options, const QString& input,
                            const QString& output)
{
    return EngineCommand(options) + QStringLiteral(" -i ") + QuoteCommandLineArgument(input) +
           QStringLiteral(" -o ") + QuoteCommandLineArgument(output) + QStringLiteral(" -n ") +
           QuoteCommandLineArgument(ModelName(options.imageType, options.speed));
}

TUpscaleJob::TUpscaleJob(const QString& tempFolder, QObject* parent)
    : QObject(parent), tempFolder_(tempFolder), runner_(std::make_unique<TConsoleRunner>())
{
    runner_->setObjectName(QStringLiteral("upscalerRunner"));
    runner_->OnNewLine = [this](TConsoleRunner*, const QString& line, TOutputType type) {
        if (type != otEntireLine)
            return;
        if (const std::optional<double> fraction = PercentageOf(line))
            emit Progress(*fraction);
        else
            UpscalerLine(line);
    };
    // An upscaler that cannot be started is this image's failure, told in the status of its row;
    // it is no reason for an error box.
    runner_->OnExecuteError = [this](TConsoleRunner*, const std::exception& error, bool& handled) {
        const auto* process = dynamic_cast<const ECreateProcessError*>(&error);
        startFailure_ = process && !process->Reason().isEmpty() ? process->Reason()
                                                                : QString::fromUtf8(error.what());
        handled = true;
    };
    runner_->OnTerminated = [this](TConsoleRunner*) { UpscalerEnded(); };
}

TUpscaleJob::~TUpscaleJob() = default;

std::optional<TImageResult> TUpscaleJob::Start(const QString& input, const TBatchOptions& options,
                                               const QString& origin)
{
    options_ = options;
    input_ = input;
    stopRequested_ = false;
    startFailure_.clear();
    errorLine_.clear();
    startTick_ = platform::GetTickCount();
    pixels_ = 0;

    upscalerInput_.clear();
    if (std::optional<TImageResult> refused =
            RefusedImage(input, origin, options, tempFolder_, bytesIn_, plan_))
        return refused;
    pixels_ = PixelsOf(input);

    // The folder is this instance's alone; a leftover that resists removal is never reused.
    QString upscalerInput = input;
    if (plan_.convertInput) {
        upscalerInput_ = tempFolder_ + QStringLiteral("zelimageinput.png");
        QFile::remove(upscalerInput_);
        upscalerInput_ = UniqueFileName(upscalerInput_);
        if (!WriteUpscalerInput(input, upscalerInput_)) {
            QFile::remove(upscalerInput_);
            return failed(
                withTemplate("The image could not be prepared for the upscaler: %s", input),
                bytesIn_);
        }
        upscalerInput = upscalerInput_;
    }
    output_ = tempFolder_ + QStringLiteral("zelimageupscale.") + plan_.upscalerFormat;
    QFile::remove(output_);
    output_ = UniqueFileName(output_);

    runner_->SetCommandLine(UpscalerCommandLine(options, upscalerInput, output_));
    try {
        runner_->Execute();
    } catch (const std::exception& error) {
        QFile::remove(upscalerInput_);
        return failed(
            withTemplate("The upscaler could not be started: %s", QString::fromUtf8(error.what())),
            bytesIn_);
    }
    return std::nullopt;
}

void TUpscaleJob::Stop()
{
    if (!runner_->IsRunning())
        return;
    stopRequested_ = true;
    runner_->Stop();
}

bool TUpscaleJob::IsRunning() const
{
    return runner_->IsRunning();
}

std::uint32_t TUpscaleJob::ProcessId() const
{
    return runner_->ProcessId();
}

void TUpscaleJob::UpscalerLine(const QString& line)
{
    if (errorLine_.isEmpty())
        errorLine_ = ReasonOfErrorLine(line, input_);
}

void TUpscaleJob::UpscalerEnded()
{
    TImageResult result;
    if (stopRequested_)
        result = {TImageOutcome::Aborted, {}, bytesIn_, 0, {}, 0, 0, {}, false};
    else
        result = Judge();
    result.pixels = pixels_;
    result.milliseconds = platform::GetTickCount() - startTick_;
    QFile::remove(output_);
    if (!upscalerInput_.isEmpty())
        QFile::remove(upscalerInput_);
    emit Finished(result);
}

TImageResult TUpscaleJob::Judge()
{
    if (!startFailure_.isEmpty())
        return failed(withTemplate("The upscaler could not be started: %s", startFailure_),
                      bytesIn_);
    if (!errorLine_.isEmpty())
        return failed(errorLine_, bytesIn_);
    if (runner_->EndStatus() != esProcess || runner_->ExitCode() != 0)
        return failed(withTemplate("The upscaler ended with an error: %s", input_), bytesIn_);
    return PlaceOutput(options_, plan_, input_, output_, bytesIn_);
}
