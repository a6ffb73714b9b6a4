#include "multiimagerun.h"

#include "batchprogress.h"
#include "i18n/translation.h"
#include "platform/tickcount.h"
#include "runner/commandline.h"
#include "runner/consolerunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

namespace
{

// Staged names sort in list order and are all the upscaler ever sees.
QString stagedName(size_t position)
{
    return QStringLiteral("g%1").arg(position + 1, 6, 10, QLatin1Char('0'));
}

// A second name for the input in the staging folder: a hard link costs nothing; where there can
// be none (another file system) a copy does. A listed link is followed, since the upscaler passes
// over links.
bool stage(const QString& input, const QString& staged)
{
    if (::linkat(AT_FDCWD, QFile::encodeName(input).constData(), AT_FDCWD,
                 QFile::encodeName(staged).constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    return QFile::copy(input, staged);
}

} // namespace

TMultiImageRun::TMultiImageRun(const QString& tempFolder, QObject* parent)
    : QObject(parent), tempFolder_(tempFolder), runner_(std::make_unique<TConsoleRunner>())
{
    runner_->OnNewLine = [this](TConsoleRunner*, const QString& line, TOutputType type) {
        if (type == otEntireLine)
            UpscalerLine(line);
    };
    // A run that cannot start fails like one that ends at once: its images are done one by one,
    // and each single run then says why.
    runner_->OnExecuteError = [](TConsoleRunner*, const std::exception&, bool& handled) {
        handled = true;
    };
    runner_->OnTerminated = [this](TConsoleRunner*) { UpscalerEnded(); };
}

TMultiImageRun::~TMultiImageRun()
{
    runner_.reset();
    if (!stage_.isEmpty())
        QDir(stage_).removeRecursively();
}

void TMultiImageRun::Begin(const TBatchOptions& options)
{
    options_ = options;
    staged_.clear();
    files_.clear();
    current_ = nullptr;
    recognised_ = false;
    stopRequested_ = false;
    stage_ = tempFolder_ + QStringLiteral("stage-%1/").arg(++runs_);
    QDir(stage_).removeRecursively();
    // Without a folder of its own no image is staged: each is refused with the reason.
    if (tempFolder_.isEmpty() || !QDir().mkpath(stage_ + QStringLiteral("in")) ||
        !QDir().mkpath(stage_ + QStringLiteral("out")))
        stage_.clear();
    format_.clear();
}

TMultiImageRun::TAdded TMultiImageRun::Add(const TQueuedImage& image, TImageResult& refusal)
{
    // A file listed twice goes in another run: its second entry enlarges what the first placed.
    const QString file = QFileInfo(image.file).canonicalFilePath();
    if (!file.isEmpty() && files_.count(file))
        return TAdded::OtherRun;
    std::int64_t bytesIn = 0;
    TImagePlan plan;
    if (std::optional<TImageResult> no =
            RefusedImage(image.file, image.origin, options_, stage_, bytesIn, plan)) {
        refusal = std::move(*no);
        return TAdded::Refused;
    }
    // A run has one output format; list order is kept, so another format ends it.
    if (!format_.isEmpty() && plan.upscalerFormat != format_)
        return TAdded::OtherRun;
    const QString staged = stage_ + QStringLiteral("in/") + stagedName(staged_.size()) +
                           QLatin1Char('.') + plan.inputExtension;
    if (plan.convertInput ? !WriteUpscalerInput(image.file, staged) : !stage(image.file, staged)) {
        QFile::remove(staged);
        const char* reason = plan.convertInput
                                 ? "The image could not be prepared for the upscaler: %s"
                                 : "Image file not found: %s";
        refusal = FailedImage(FillTemplate(TranslateText(reason), {image.file}), bytesIn);
        return TAdded::Refused;
    }
    format_ = plan.upscalerFormat;
    files_.insert(file);
    staged_.push_back({image, std::move(plan), bytesIn, false, false, false, 0});
    return TAdded::Staged;
}

void TMultiImageRun::Launch()
{
    runner_->SetCommandLine(
        EngineCommand(options_) + QStringLiteral(" -i ") +
        QuoteCommandLineArgument(stage_ + QStringLiteral("in")) + QStringLiteral(" -o ") +
        QuoteCommandLineArgument(stage_ + QStringLiteral("out")) + QStringLiteral(" -n ") +
        QuoteCommandLineArgument(ModelName(options_.imageType, options_.speed)) +
        QStringLiteral(" -f ") + format_ + QStringLiteral(" -v"));
    // Percentages with a dot where the user's settings allow it; a comma is understood too.
    runner_->Environment() = {QStringLiteral("LC_NUMERIC=C")};
    runner_->Execute();
}

std::vector<TQueuedImage> TMultiImageRun::Abandon()
{
    std::vector<TQueuedImage> images;
    for (const Staged& staged : staged_)
        images.push_back(staged.image);
    staged_.clear();
    files_.clear();
    if (!stage_.isEmpty())
        QDir(stage_).removeRecursively();
    stage_.clear();
    return images;
}

void TMultiImageRun::Stop()
{
    if (!runner_->IsRunning())
        return;
    stopRequested_ = true;
    runner_->Stop();
}

bool TMultiImageRun::IsRunning() const
{
    return runner_->IsRunning();
}

std::uint32_t TMultiImageRun::ProcessId() const
{
    return runner_->ProcessId();
}

TMultiImageRun::Staged* TMultiImageRun::OldestUnsaved()
{
    for (Staged& staged : staged_) {
        if (staged.started && !staged.saving && !staged.finished)
            return &staged;
    }
    return nullptr;
}

TMultiImageRun::Staged* TMultiImageRun::StagedIn(const QString& line)
{
    static const QRegularExpression name(QStringLiteral("/in/g(\\d{6})\\.[A-Za-z]+\\b"));
    const QRegularExpressionMatch match = name.match(line);
    if (!match.hasMatch()) {
        // An error line about writing names the output, not the input.
        static const QRegularExpression output(QStringLiteral("/out/g(\\d{6})\\.[A-Za-z]+\\b"));
        const QRegularExpressionMatch written = output.match(line);
        if (!written.hasMatch())
            return nullptr;
        const auto position = written.captured(1).toULongLong() - 1;
        return position < staged_.size() ? &staged_[position] : nullptr;
    }
    const auto position = match.captured(1).toULongLong() - 1;
    return position < staged_.size() ? &staged_[position] : nullptr;
}

void TMultiImageRun::Finish(Staged& staged, TImageResult result)
{
    if (staged.finished)
        return;
    staged.finished = true;
    result.pixels = PixelsOf(staged.image.file);
    result.milliseconds = staged.started ? platform::GetTickCount() - staged.startTick : 0;
    if (current_ == &staged)
        current_ = nullptr;
    emit ImageFinished(staged.image.row, result);
}

void TMultiImageRun::UpscalerLine(const QString& line)
{
    if (const std::optional<double> fraction = PercentageOf(line)) {
        // "0.00%" opens each image, in the staged order; the others are its tiles.
        if (*fraction == 0.0) {
            current_ = nullptr;
            for (Staged& staged : staged_) {
                if (!staged.started && !staged.finished) {
                    staged.started = true;
                    staged.startTick = platform::GetTickCount();
                    current_ = &staged;
                    emit ImageStarted(staged.image.row, staged.image.file);
                    break;
                }
            }
        } else if (Staged* staged = *fraction == 1.0 ? OldestUnsaved() : current_) {
            if (*fraction == 1.0)
                staged->saving = true;
            emit ImageProgress(staged->image.row, *fraction);
        }
        return;
    }
    Staged* staged = StagedIn(line);
    if (!staged)
        return;
    if (line.endsWith(QLatin1String(" done"))) {
        recognised_ = true;
        const QString output = stage_ + QStringLiteral("out/") +
                               stagedName(static_cast<size_t>(staged - staged_.data())) +
                               QLatin1Char('.') + format_;
        Finish(*staged,
               PlaceOutput(options_, staged->plan, staged->image.file, output, staged->bytesIn));
        QFile::remove(output);
        return;
    }
    const QString reason = ReasonOfErrorLine(line, staged->image.file);
    if (!reason.isEmpty()) {
        recognised_ = true;
        Finish(*staged, FailedImage(reason, staged->bytesIn));
    }
}

void TMultiImageRun::UpscalerEnded()
{
    TEnd end;
    end.stopped = stopRequested_;
    const bool died = runner_->EndStatus() != esProcess || runner_->ExitCode() != 0;
    end.recognised = recognised_;
    for (Staged& staged : staged_) {
        if (staged.finished)
            continue;
        if (stopRequested_) {
            if (staged.started)
                Finish(staged,
                       {TImageOutcome::Aborted, {}, staged.bytesIn, 0, {}, 0, 0, {}, false});
        } else if (died && staged.started && !end.crashed) {
            end.crashed = staged.image;
        } else if (died || !recognised_) {
            end.untouched.push_back(staged.image);
        } else {
            Finish(staged,
                   FailedImage(FillTemplate(TranslateText("The upscaler gave no complete enlarged "
                                                          "image: %s"),
                                            {staged.image.file}),
                               staged.bytesIn));
        }
    }
    // A run that died before any image began says nothing of the images: one by one, each
    // single run will say why it fails.
    if (died && !end.crashed)
        end.recognised = false;
    QDir(stage_).removeRecursively();
    stage_.clear();
    emit Ended(end);
}
