#include "imagecheck.h"

#include "i18n/translation.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// More than any reader looks at to know its format.
constexpr int HeadBytes = 4096;

bool statRegular(const QString& path, struct stat& info)
{
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

std::int64_t modificationTime(const struct stat& info)
{
    return std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

} // namespace

TFileFinding CheckFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Opened without waiting, so a named pipe cannot hold the check; then only a regular file
    // counts as there.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info;
    if (fd < 0) {
        // There but unreadable is what the batch calls no image it can read.
        if (errno != ENOENT && errno != ENOTDIR && ::stat(name.constData(), &info) == 0 &&
            S_ISREG(info.st_mode))
            return {TFileCheck::NotAnImage, std::int64_t(info.st_size), modificationTime(info)};
        return {TFileCheck::Missing, -1, 0};
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return {TFileCheck::Missing, -1, 0};
    // The readers judge a file by its first bytes. Judged from a copy of those, not from the file
    // by name, the look costs a few microseconds instead of a hundred.
    QByteArray head(HeadBytes, Qt::Uninitialized);
    ssize_t got;
    do {
        got = ::read(fd, head.data(), head.size());
    } while (got < 0 && errno == EINTR);
    head.truncate(std::max<ssize_t>(got, 0));
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    const bool image = got > 0 && !QImageReader::imageFormat(&buffer).isEmpty();
    return {image ? TFileCheck::Readable : TFileCheck::NotAnImage, std::int64_t(info.st_size),
            modificationTime(info)};
}

bool ChangedSinceCheck(const TImageEntry& entry)
{
    struct stat info;
    const bool regular = statRegular(entry.path, info);
    if (entry.check == TFileCheck::Missing)
        return regular;
    return !regular || std::int64_t(info.st_size) != entry.checkedSize ||
           modificationTime(info) != entry.checkedTime;
}

QString CheckStatusText(TFileCheck check)
{
    switch (check) {
    case TFileCheck::Missing:
        return TranslateText("File not found");
    case TFileCheck::NotAnImage:
        return TranslateText("Not an image the program can read");
    case TFileCheck::Pending:
    case TFileCheck::Readable:
        break;
    }
    return {};
}

QString CheckReason(const TImageEntry& entry)
{
    switch (entry.check) {
    case TFileCheck::Missing:
        return FillTemplate(TranslateText("Image file not found: %s"), {entry.path});
    case TFileCheck::NotAnImage:
        return FillTemplate(TranslateText("Not an image the program can read: %s"), {entry.path});
    case TFileCheck::Pending:
    case TFileCheck::Readable:
        break;
    }
    return {};
}

void CountCheckFailure(TBatchSummary& failures, const TImageEntry& entry, const QString& reason)
{
    failures.commonFailure =
        failures.failed == 0 || failures.commonFailure == reason ? reason : QString();
    ++failures.failed;
    failures.lastFailure = reason;
    failures.totalInputBytes += std::max<std::int64_t>(entry.checkedSize, 0);
    failures.failures.push_back({entry.path, reason});
}

TBatchSummary WithCheckFailures(TBatchSummary batch, const TBatchSummary& failures)
{
    if (failures.failed == 0)
        return batch;
    batch.commonFailure = batch.failed == 0 || batch.commonFailure == failures.commonFailure
                              ? failures.commonFailure
                              : QString();
    // The batch's own failures came after those Start passed over.
    if (batch.failed == 0)
        batch.lastFailure = failures.lastFailure;
    batch.failed += failures.failed;
    batch.totalInputBytes += failures.totalInputBytes;
    batch.failures.insert(batch.failures.begin(), failures.failures.begin(),
                          failures.failures.end());
    return batch;
}

TImageCheck::TImageCheck(QObject* parent) : QObject(parent) {}

TImageCheck::~TImageCheck()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    // A delivery posted meanwhile goes with this object: QObject drops its pending events.
}

void TImageCheck::Enqueue(std::vector<TFile> files)
{
    if (files.empty())
        return;
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(files));
        if (!worker_.joinable())
            worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_one();
}

void TImageCheck::Cancel()
{
    const std::lock_guard lock(mutex_);
    queue_.clear();
    next_ = 0;
    results_.clear();
}

bool TImageCheck::IsIdle() const
{
    const std::lock_guard lock(mutex_);
    return queue_.empty() && !checking_ && results_.empty() && !deliveryPosted_;
}

void TImageCheck::Work()
{
    pthread_setname_np(pthread_self(), "imagecheck");
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        const TFile file = queue_.front()[next_];
        if (++next_ == queue_.front().size()) {
            queue_.pop_front();
            next_ = 0;
        }
        checking_ = true;
        lock.unlock();
        const TFileFinding finding = CheckFile(file.path);
        lock.lock();
        checking_ = false;
        if (stopping_)
            return;
        results_.push_back({file.serial, finding});
        if (deliveryPosted_)
            continue;
        // One delivery at a time: what is found while the window is busy goes with the next one.
        deliveryPosted_ = true;
        lock.unlock();
        QMetaObject::invokeMethod(this, &TImageCheck::Deliver, Qt::QueuedConnection);
        lock.lock();
    }
}

void TImageCheck::Deliver()
{
    std::vector<TResult> results;
    {
        const std::lock_guard lock(mutex_);
        results.swap(results_);
        deliveryPosted_ = false;
    }
    if (!results.empty())
        emit Checked(results);
}
