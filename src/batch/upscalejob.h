// One image through the upscaler: its command line, the run, the judgement of its output and the
// placement of the enlarged image, ending in one result.
#pragma once

#include "batchoptions.h"
#include "imageformats.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class TConsoleRunner;

// Skipped: a copy of that name was there already and the options say to leave it.
enum class TImageOutcome { Completed, Failed, Aborted, Skipped };

struct TImageResult {
    TImageOutcome outcome = TImageOutcome::Failed;
    QString reason;                 // why it failed, in the user's language; empty otherwise
    std::int64_t bytesIn = 0;       // the input's size when its job started; 0 when it was gone
    std::int64_t bytesOut = 0;      // the placed enlarged image's size
    QString target;                 // where the enlarged image stands
    std::int64_t pixels = 0;        // the input's pixel count; 0 when its size could not be read
    std::uint32_t milliseconds = 0; // how long the job took
    QString note;                   // what a completed image lost on the way (its metadata)
    bool damaged = false;           // failed because the result did not show its input
};

// An image to enlarge and its row in the list.
struct TQueuedImage {
    int row = 0;
    QString file;
    QString origin{}; // the folder it was listed from; empty for an image added by itself
};

// The upscaler's command line: program, input, output and model, each quoted so that any file
// name reaches it as exactly one argument.
QString UpscalerCommandLine(const TBatchOptions& options, const QString& input,
                            const QString& output);

TImageResult FailedImage(const QString& reason, std::int64_t bytesIn);
// The input's pixel count from its header; 0 when it cannot be read.
std::int64_t PixelsOf(const QString& path);
// Why `input` cannot go to the upscaler at all (it is gone or no image the program can enlarge,
// no temporary folder, no upscaler, no model); nothing when it can, and then `plan` says how it
// goes. `bytesIn` gets the input's size (0 when gone).
// A copy whose name is taken is Skipped here when the options say so, before any work.
// `origin` is the folder the image was listed from (see CopyFolderOf).
std::optional<TImageResult> RefusedImage(const QString& input, const QString& origin,
                                         const TBatchOptions& options, const QString& tempFolder,
                                         std::int64_t& bytesIn, TImagePlan& plan);
// The reason an error line of the upscaler gives for `input`; empty for any other line.
QString ReasonOfErrorLine(const QString& line, const QString& input);
// Judges the upscaler's `output` for `input` and, when it is the complete enlarged image, brings
// it to the planned size, format and metadata and places it as the options say. Files it makes
// on the way stand beside `output` and are gone when it returns.
TImageResult PlaceOutput(const TBatchOptions& options, const TImagePlan& plan, const QString& input,
                         const QString& output, std::int64_t bytesIn);

class TUpscaleJob : public QObject
{
    Q_OBJECT

public:
    // `tempFolder` (ending with '/') is this instance's own folder for the upscaler's output;
    // empty when none could be made.
    TUpscaleJob(const QString& tempFolder, QObject* parent = nullptr);
    // A running upscaler is killed; nothing is reported any more.
    ~TUpscaleJob() override;

    // Starts enlarging `input` with `options`. When the job cannot start (the input is gone, the
    // upscaler or its model is missing, no temporary folder) the result comes back at once and
    // Finished is not emitted; otherwise Finished follows when the upscaler has ended.
    // `origin`: the folder the image was listed from, if any.
    std::optional<TImageResult> Start(const QString& input, const TBatchOptions& options,
                                      const QString& origin = {});
    // Kills the running upscaler; Finished follows with Aborted. Idle: nothing.
    void Stop();
    bool IsRunning() const;
    // The upscaler's process id while it runs, else 0.
    std::uint32_t ProcessId() const;

signals:
    // The upscaler has come this far with the image (0 to 1).
    void Progress(double fraction);
    void Finished(const TImageResult& result);

private:
    void UpscalerLine(const QString& line);
    void UpscalerEnded();
    // Judges the upscaler's output and places it.
    TImageResult Judge();

    QString tempFolder_;
    std::unique_ptr<TConsoleRunner> runner_;
    TBatchOptions options_;
    TImagePlan plan_;
    QString input_;
    QString upscalerInput_; // a PNG of the input when the upscaler cannot read the input itself
    QString output_;
    std::int64_t bytesIn_ = 0;
    std::int64_t pixels_ = 0;
    std::uint32_t startTick_ = 0;
    bool stopRequested_ = false;
    QString startFailure_; // why the upscaler could not be started
    QString errorLine_;    // why the upscaler said it could not read or write the image
};
