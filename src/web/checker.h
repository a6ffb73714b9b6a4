// The update check: once per start, on a thread of its own, asks the maker's web service whether
// another version is out, keeps its schedule and findings in CheckerStore, and leaves flags that
// the main window polls. Destroying it ends a check that still waits, within a fraction of a
// second.
#pragma once

#include "web/checkerstore.h"
#include "web/postform.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// What the check needs from the program that starts it.
struct CheckerConfig {
    QString AppTitle;   // "company - product"
    QString AppVersion; // "major.minor"
    QString Host;       // the maker's web host, without scheme
    QString StorePath;  // the file of CheckerStore
    std::function<QDate()> Today = [] { return QDate::currentDate(); };
    PostTimeouts Timeouts = CheckerTimeouts;
    // Shows the service's "IMPORTANT" message as a modal warning box and returns once the user
    // has closed it; called on the thread that created the checker. The check knows no window,
    // so whoever starts it chooses how and over which window the message appears. When empty,
    // the message is not shown.
    std::function<void(const QString& text, const QString& caption)> ShowImportant;
};

class TChecker : public QObject
{
    Q_OBJECT

public:
    // Starts the check at once. Create it on the user-interface thread: an "IMPORTANT" message
    // from the service is shown there (through CheckerConfig::ShowImportant) while the check
    // waits for the user to close it.
    explicit TChecker(CheckerConfig config, QObject* parent = nullptr);
    ~TChecker() override;

    bool CheckFinished() const { return checkFinished_.load(std::memory_order_acquire); }

    // The results; read them only once CheckFinished() is true.
    bool NewVersionFound() const { return NewVersionFound_; }
    const QString& NewVersion() const { return NewVersion_; }
    const QString& CurrentURL() const { return CurrentURL_; }
    int ShowUpdate() const { return ShowUpdate_; }
    bool CheckFailed() const { return CheckFailed_; }
    const QString& CheckErrors() const { return CheckErrors_; }

    // Stores the Help menu's choice (1 notify, 0 none) for the next start; only after the check
    // has finished, and only when the store could be opened. False when nothing was stored.
    bool WriteShowUpdate(int value);

private:
    void Execute();
    void CheckNow();
    void SendAndTakeAnswer(int howMany, const QString& today, int count,
                           const QString& oldLastCheck);
    QString StoreString(const char* key) const;
    int StoreInteger(const char* key, int defaultValue) const;
    void StoreWrite(const char* key, const QString& value);
    QStringList RequestFields(int howMany) const;
    void ShowImportant(const QString& text);
    void RecordCheckError(const QString& text);
    void ClearCheckErrors();

    struct ImportantWait;

    CheckerConfig config_;
    std::unique_ptr<CheckerStore> store_;
    std::shared_ptr<ImportantWait> importantWait_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> checkFinished_{false};
    bool NewVersionFound_ = false;
    QString NewVersion_;
    QString CurrentURL_;
    int ShowUpdate_ = 1;
    bool CheckFailed_ = false;
    QString CheckErrors_;
    std::thread thread_;
};

// The answer split into lines at CR, LF or CR LF; a break at the very end opens no empty line.
QStringList SplitAnswerLines(const QString& answer);

// The value of a line that is exactly "<tag>value</tag>" with `tag` in lower case; else empty.
QString ExtractTag(const QString& line, const QString& tag);
