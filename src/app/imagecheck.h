// The look every file gets as it is listed: is it there, and is it an image the program can read.
// It runs on a thread of its own, so a list of 100,000 files shows at once and fills in its
// verdicts as they come; Start passes over the files it could not use and counts them as failed.
#pragma once

#include "batch/batchsummary.h"
#include "imageentry.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// What the check found for one file, and the file as it saw it.
struct TFileFinding {
    TFileCheck check = TFileCheck::Pending;
    std::int64_t size = -1;
    std::int64_t time = 0; // modification time, ns
};

// Looks at one file, as the batch would judge it before starting the upscaler: only a regular
// file counts as there, and only one Qt's image readers take by its content as an image.
TFileFinding CheckFile(const QString& path);

// A verdict Start passes over: the file is missing or no image.
inline bool IsCheckFailure(TFileCheck check)
{
    return check == TFileCheck::Missing || check == TFileCheck::NotAnImage;
}

// Whether the file is no longer what the check saw: it has appeared, gone or been changed. The
// batch then judges it itself.
bool ChangedSinceCheck(const TImageEntry& entry);

// The row's status for a failed check ("File not found"), translated; empty for any other.
QString CheckStatusText(TFileCheck check);
// The reason of a failed check with the file's name, in the same words as the batch's own.
QString CheckReason(const TImageEntry& entry);

// Adds an entry that Start passed over to `failures`: one more failed image, its reason (its
// CheckReason), and its bytes as the batch counts those of an image it tried.
void CountCheckFailure(TBatchSummary& failures, const TImageEntry& entry, const QString& reason);
// The batch's summary with the images Start passed over counted among its failures.
TBatchSummary WithCheckFailures(TBatchSummary batch, const TBatchSummary& failures);

// Checks files on its own thread and reports the findings on the thread it was made in, many at a
// time. Its reports carry the entry's serial: rows removed or cleared meanwhile simply find no
// entry. Destroying it waits for the file under check, and drops what was not reported yet.
class TImageCheck : public QObject
{
    Q_OBJECT

public:
    struct TFile {
        std::uint64_t serial;
        QString path;
    };
    struct TResult {
        std::uint64_t serial;
        TFileFinding finding;
    };

    explicit TImageCheck(QObject* parent = nullptr);
    ~TImageCheck() override;
    TImageCheck(const TImageCheck&) = delete;
    TImageCheck& operator=(const TImageCheck&) = delete;

    // Checks these files after those already waiting, in order.
    void Enqueue(std::vector<TFile> files);
    // Forgets every file not checked yet and every finding not reported yet.
    void Cancel();
    // Nothing waits to be checked or reported.
    bool IsIdle() const;

signals:
    // Findings in the order the files were queued.
    void Checked(const std::vector<TImageCheck::TResult>& results);

private:
    void Work();
    void Deliver();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Chunks as they were queued: a long list is freed chunk by chunk as it is checked.
    std::deque<std::vector<TFile>> queue_;
    size_t next_ = 0; // in the first chunk
    bool checking_ = false;
    std::vector<TResult> results_;
    bool deliveryPosted_ = false;
    bool stopping_ = false;
    std::thread worker_;
};
