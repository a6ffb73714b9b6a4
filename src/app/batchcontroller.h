// A batch over the image list: whether it may start, the engine that runs it, the rows' statuses
// and reasons, its progress, and where its results went. No widgets: the window shows what it
// signals.
#pragma once

#include "batch/batchengine.h"
#include "batch/batchprogress.h"
#include "imageentry.h"
#include "optionchoices.h"

#include <QObject>
#include <QString>

class ImageListModel;

// Why Start does not start.
enum class TStartRefusal {
    None,
    NoImages,
    AllEnlarged,
    NoDestination, // the destination folder is missing and cannot be created
    DestinationNotWritable,
    ModelMissing,
    BadCopyName // the copy-name pattern cannot name files
};
struct TStartCheck {
    TStartRefusal refusal = TStartRefusal::None;
    QString message; // the warning the user reads, translated
};
// Whether a batch of `entries` with `choices` can start. Makes a missing destination folder.
TStartCheck CheckStart(const TImageEntries& entries, const TOptionChoices& choices,
                       const QString& upscalerFolder);

// The folder of a batch's results: the first image's folder when they went beside the originals,
// else the destination; empty when there is none.
QString ResultsFolderOf(const TImageEntries& entries, const TBatchOptions& options);

class BatchController : public QObject
{
    Q_OBJECT

public:
    // `tempFolder`: this instance's own folder for the upscaler's output.
    BatchController(ImageListModel& images, const QString& tempFolder,
                    const QString& upscalerFolder, QObject* parent = nullptr);
    // A running upscaler ends before the list and the folder it writes into go.
    ~BatchController() override;

    // Starts a batch of the images not enlarged yet, or says why it cannot.
    TStartCheck start(const TOptionChoices& choices);
    // Stops the running batch; idle follows once its upscaler has ended. The status then says how
    // many of the batch's images were enlarged.
    void stop();
    bool isRunning() const { return engine_->IsRunning(); }
    // An upscaler still runs, also a stopped one that has not ended yet.
    bool isBusy() const { return engine_->IsBusy(); }
    TBatchEngine& engine() { return *engine_; }
    // The row of the image this batch enlarged last, or -1.
    int lastCompletedRow() const { return lastCompletedRow_; }
    // The folder the upscaler writes into.
    const QString& tempFolder() const { return tempFolder_; }

signals:
    // A batch begins; what it reports next may already be its end.
    void started();
    void statusMessage(const QString& text);
    // The share done (0 to 1) and the "3 / 31" text with the time left. Status texts, progress
    // and imageStarted come a few times a second at most, each with the latest.
    void progressChanged(double overall, const QString& text);
    // The image started last, for the list to follow.
    void imageStarted(int row);
    // STOP has ended the batch where it was.
    void stopped();
    // Back from a batch, stopped or finished: the window's controls may change files again.
    void idle();
    void finished(const TBatchSummary& summary, const QString& resultsFolder);

private:
    void onImageStarted(int row, const QString& file);
    void onImageProgress(int row, double fraction);
    void onImageFinished(int row, const TImageResult& result);
    void onFinished(const TBatchSummary& totals);
    void onStopped();
    // Images added while the batch runs join it.
    void onCountChanged(int count);
    void reportProgress();
    // The image started last, as "Processing..." on its row while it runs, and followed.
    void showStarted();

    ImageListModel& images_;
    QString tempFolder_;
    QString upscalerFolder_;
    TBatchEngine* engine_;
    TBatchProgress progress_;
    int rowsKnownToProgress_ = 0;
    bool stopping_ = false; // STOP was pressed: the status bar keeps its words about it
    // What the window shows of a running batch goes out a few times a second, the latest of each.
    QString status_;
    TThrottle statusShown_;
    TThrottle progressShown_;
    int startedRow_ = -1;
    int lastCompletedRow_ = -1;
    bool startedRuns_ = false; // and its row shows no word of the batch yet
    TThrottle startedShown_;
    // The options the running or last batch started with, and when it started.
    TBatchOptions options_;
    QDateTime startedAt_;
    // Rows Start passed over for what the check found (by row at the start), and their failures.
    std::vector<char> passedOver_;
    TBatchSummary checkFailures_;
};
