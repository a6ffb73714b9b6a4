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
#include <set>
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

    // Where an image offered to the run being gathered goes.
    enum class TAdded {
        Staged,  // it is part of the run
        Refused, // it cannot go to the upscaler at all; the refusal says why
        OtherRun // it belongs in a later run: another output format, or a file this run has
    };

    // `tempFolder` (ending with '/') is this instance's own folder.
    explicit TMultiImageRun(const QString& tempFolder, QObject* parent = nullptr);
    // A running upscaler is killed; nothing is reported any more.
    ~TMultiImageRun() override;

    // Begins gathering a run, image by image, so that a long list is staged in small steps.
    void Begin(const TBatchOptions& options);
    TAdded Add(const TQueuedImage& image, TImageResult& refusal);
    // The images staged so far.
    int Gathered() const { return static_cast<int>(staged_.size()); }
    // Starts the upscaler on the staged images, which share an output format. Precondition:
    // Gathered() > 0.
    void Launch();
    // Gives up the run that was gathered and its staging; returns its images in order.
    std::vector<TQueuedImage> Abandon();
    // Kills the run; the image it was on ends Aborted, the ones it had not come to stay as they
    // are.
    void Stop();
    bool IsRunning() const;
    std::uint32_t ProcessId() const;

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
        bool saving = false; // the upscaler has said "100.00%" for it
        bool finished = false;
        std::uint32_t startTick = 0;
    };

    void UpscalerLine(const QString& line);
    void UpscalerEnded();
    // The staged image that a line of the upscaler names, or nothing.
    Staged* StagedIn(const QString& line);
    // The upscaler saves an image on a thread of its own while it works on the next, so the
    // "100.00%" of an image can come after the next one's "0.00%": it belongs to the oldest image
    // started and not saved.
    Staged* OldestUnsaved();
    void Finish(Staged& staged, TImageResult result);

    QString tempFolder_;
    std::unique_ptr<TConsoleRunner> runner_;
    TBatchOptions options_;
    QString stage_;  // this run's staging folder, ending with '/'
    QString format_; // the output format of the run
    std::vector<Staged> staged_;
    std::set<QString> files_; // the canonical paths of the staged images
    Staged* current_ = nullptr;
    bool recognised_ = false;
    bool stopRequested_ = false;
    int runs_ = 0;
};
