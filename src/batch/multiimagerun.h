// Many images through one upscaler run, since the upscaler's start and model load cost as much
// as enlarging a small image. The images are staged under generated names in the instance's own
// folder, so no user's file name ever reaches the upscaler's output lines; each is judged and
// placed as soon as the upscaler says it is done, with every per-image guarantee of a single run.
#pragma once

#include "batchoptions.h"
#include "upscalejob.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class TConsoleRunner;

class TMultiImageRun : public QObject
{
    Q_OBJECT

public:
    // How a run ended, for what comes next.
    struct TEnd {
        bool stopped = false;
        // The image the upscaler was on when it died by itself; it deserves a run of its own.
        std::optional<TQueuedImage> crashed;
        // Images the run never came to: after a crash, or when the upscaler's lines were not
        // recognised at all (then `recognised` is false and they are better done one by one).
        std::vector<TQueuedImage> untouched;
        bool recognised = true;
    };

    // `tempFolder` (ending with '/') is this instance's own folder.
    explicit TMultiImageRun(const QString& tempFolder, QObject* parent = nullptr);
    // A running upscaler is killed; nothing is reported any more.
    ~TMultiImageRun() override;

    // Starts one run over `images`, which all share an output format. Images that cannot go to
    // the upscaler come back at once and are not part of the run; when none is left, no run
    // starts and Ended is not emitted.
    std::vector<std::pair<TQueuedImage, TImageResult>>
    Start(const std::vector<TQueuedImage>& images, const TBatchOptions& options);
    // Kills the run; the image it was on ends Aborted, the ones it had not come to stay as they
    // are.
    void Stop();
    bool IsRunning() const;
    std::uint32_t ProcessId() const;

    // What the upscaler writes for an input file with the options: png, jpg or webp; empty when
    // the file cannot be enlarged at all, so that it goes with any run and fails there.
    static QString UpscalerFormat(const QString& file, const TBatchOptions& options);

signals:
    void ImageStarted(int row, const QString& file);
    void ImageProgress(int row, double fraction);
    void ImageFinished(int row, const TImageResult& result);
    void Ended(const TMultiImageRun::TEnd& end);

private:
    struct Staged {
        TQueuedImage image;
        TImagePlan plan;
        std::int64_t bytesIn = 0;
        bool started = false;
        bool finished = false;
        std::uint32_t startTick = 0;
    };

    void UpscalerLine(const QString& line);
    void UpscalerEnded();
    // The staged image that a line of the upscaler names, or nothing.
    Staged* StagedIn(const QString& line);
    void Finish(Staged& staged, TImageResult result);

    QString tempFolder_;
    std::unique_ptr<TConsoleRunner> runner_;
    TBatchOptions options_;
    QString stage_;  // this run's staging folder, ending with '/'
    QString format_; // the output format of the run
    std::vector<Staged> staged_;
    Staged* current_ = nullptr;
    bool recognised_ = false;
    bool stopRequested_ = false;
    int runs_ = 0;
};
