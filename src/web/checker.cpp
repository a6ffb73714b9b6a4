#include "checker.h"

#include "i18n/translation.h"
#include "platform/systeminfo.h"
#include "web/scramble.h"
#include "web/trimblanks.h"

#include <QLocale>
#include <condition_variable>
#include <cstdlib>
#include <cxxabi.h>
#include <mutex>
#include <typeinfo>

namespace
{

const QString Section = QStringLiteral("Settings");
const QString ScriptPath = QStringLiteral("/php/check2.php");
constexpr int ChecksPerDay = 5;
constexpr int NoticeChecksPerDay = 3;

QString className(const std::exception& error)
{
    const char* mangled = typeid(error).name();
    int status = 0;
    char* readable = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    const QString name = QString::fromUtf8(status == 0 && readable ? readable : mangled);
    std::free(readable);
    return name;
}

} // namespace

// The checker thread waits here while the user-interface thread shows the "IMPORTANT" message;
// shared, so that a message still open when the checker is gone touches nothing of it.
struct TChecker::ImportantWait {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
    bool cancelled = false;
};

TChecker::TChecker(CheckerConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)), importantWait_(std::make_shared<ImportantWait>())
{
    thread_ = std::thread([this] { Execute(); });
}

TChecker::~TChecker()
{
    cancel_ = true;
    {
        const std::lock_guard lock(importantWait_->mutex);
        importantWait_->cancelled = true;
    }
    importantWait_->changed.notify_all();
    thread_.join();
}

bool TChecker::WriteShowUpdate(int value)
{
    if (!CheckFinished() || !store_)
        return false;
    return store_->WriteInteger(Section, QStringLiteral("ShowUpdate"), value);
}

void TChecker::Execute()
{
    checkFinished_.store(false, std::memory_order_release);
    CheckNow();
}

QString TChecker::StoreString(const char* key) const
{
    return store_ ? store_->ReadString(Section, QLatin1String(key), QString()) : QString();
}

int TChecker::StoreInteger(const char* key, int defaultValue) const
{
    return store_ ? store_->ReadInteger(Section, QLatin1String(key), defaultValue) : defaultValue;
}

// A write that fails leaves the check as it is: the store only serves the next start.
void TChecker::StoreWrite(const char* key, const QString& value)
{
    if (store_)
        store_->WriteString(Section, QLatin1String(key), value);
}

void TChecker::RecordCheckError(const QString& text)
{
    if (TrimBlanks(text).isEmpty())
        return;
    CheckFailed_ = true;
    if (!CheckErrors_.isEmpty())
        CheckErrors_ += QStringLiteral("\r\r");
    CheckErrors_ += text;
}

void TChecker::ClearCheckErrors()
{
    CheckErrors_.clear();
    CheckFailed_ = false;
}

void TChecker::CheckNow()
{
    ClearCheckErrors();
    try {
        store_ = std::make_unique<CheckerStore>(config_.StorePath);
    } catch (const std::exception&) {
        RecordCheckError(QStringLiteral("Error: Registry open problem!"));
    }
    const QString oldLastCheck = StoreString("LastUpdateCheck");
    int count = StoreInteger("LastUpdateCheckCount", 0);
    const QString installedVersion = StoreString("InstalledVersion");

    int howMany = std::max(StoreInteger("HowMany", 0), 0);
    if (installedVersion != config_.AppVersion)
        howMany = 0;
    ++howMany;
    StoreWrite("HowMany", QString::number(howMany));
    StoreWrite("InstalledVersion", config_.AppVersion);

    const QString storedURL = StoreString("CurrentURL");
    if (!storedURL.isEmpty())
        CurrentURL_ = UnscrambleText(storedURL);
    ShowUpdate_ = StoreInteger("ShowUpdate", 1);

    const QString today = QLocale().toString(config_.Today(), QLocale::ShortFormat);
    const bool scheduled = ShowUpdate_ != 0 && !(oldLastCheck == today && count >= ChecksPerDay);
    if (scheduled) {
        count = oldLastCheck == today ? count + 1 : 1;
        StoreWrite("LastUpdateCheck", today);
        StoreWrite("LastUpdateCheckCount", QString::number(count));
        try {
            SendAndTakeAnswer(howMany, today, count, oldLastCheck);
        } catch (const std::exception& error) {
            RecordCheckError(className(error) + QStringLiteral(" Error:\r") +
                             QString::fromUtf8(error.what()));
        }
    }
    checkFinished_.store(true, std::memory_order_release);
}

QStringList TChecker::RequestFields(int howMany) const
{
    return {QStringLiteral("cmd=check"),
            QStringLiteral("appname=") + config_.AppTitle,
            QStringLiteral("version=") + config_.AppVersion,
            QStringLiteral("os=") + platform::OsDescription(),
            QStringLiteral("local=") + platform::UserLocaleName(),
            QStringLiteral("guid=") + platform::ReadMachineGuid(),
            QStringLiteral("howmany=") + QString::number(howMany)};
}

void TChecker::SendAndTakeAnswer(int howMany, const QString& today, int count,
                                 const QString& oldLastCheck)
{
    const QStringList fields = RequestFields(howMany);
    const QString address = config_.Host + ScriptPath;
    QString answer;
    try {
        answer = PostForm(QStringLiteral("https://") + address, fields, config_.Timeouts, &cancel_);
    } catch (const PostError& httpsError) {
        RecordCheckError(QStringLiteral("HTTPS Response:\r") + httpsError.message());
        if (cancel_)
            return;
        try {
            answer =
                PostForm(QStringLiteral("http://") + address, fields, config_.Timeouts, &cancel_);
            ClearCheckErrors();
        } catch (const PostError& httpError) {
            RecordCheckError(QStringLiteral("HTTP Response:\r") + httpError.message());
        }
    }
    if (cancel_)
        return;

    if (answer.startsWith(QStringLiteral("ERROR")))
        RecordCheckError(QStringLiteral("INVALIDSERVERRESPONSE"));
    const QStringList lines = SplitAnswerLines(answer);
    if (!CheckFailed_) {
        const QString result =
            lines.size() >= 4 ? ExtractTag(lines[3], QStringLiteral("result")) : QString();
        if (result != QStringLiteral("0") && result != QStringLiteral("1"))
            RecordCheckError(QStringLiteral("INVALIDSERVERRESPONSE"));
    }
    if (CheckFailed_)
        return;

    NewVersion_ = ExtractTag(lines[0], QStringLiteral("version"));
    StoreWrite("CurrentVersion", NewVersion_);
    CurrentURL_ = ExtractTag(lines[1], QStringLiteral("url"));
    StoreWrite("CurrentURL", ScrambleText(CurrentURL_));
    const QString important =
        lines.size() >= 6 ? ExtractTag(lines[5], QStringLiteral("important")) : QString();

    if (!TrimBlanks(important).isEmpty())
        ShowImportant(important);
    if (NewVersion_ != config_.AppVersion) {
        bool isNumber = false;
        QString(NewVersion_).remove(QLatin1Char('.')).toInt(&isNumber, 10);
        if (isNumber && ShowUpdate_ == 1)
            NewVersionFound_ = oldLastCheck != today || count <= NoticeChecksPerDay;
    }
}

void TChecker::ShowImportant(const QString& text)
{
    if (!config_.ShowImportant)
        return;
    const QString caption = TranslateText("IMPORTANT");
    std::shared_ptr<ImportantWait> wait = importantWait_;
    QMetaObject::invokeMethod(
        this,
        [wait, show = config_.ShowImportant, text, caption] {
            show(text, caption);
            {
                const std::lock_guard lock(wait->mutex);
                wait->closed = true;
            }
            wait->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(wait->mutex);
    wait->changed.wait(lock, [&wait] { return wait->closed || wait->cancelled; });
}

QStringList SplitAnswerLines(const QString& answer)
{
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < answer.size(); ++i) {
        const QChar ch = answer[i];
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            if (ch == QLatin1Char('\r') && i + 1 < answer.size() &&
                answer[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            line += ch;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QString ExtractTag(const QString& line, const QString& tag)
{
    if (line.isEmpty() || tag.isEmpty())
        return {};
    const QString opening = QLatin1Char('<') + tag.toLower() + QLatin1Char('>');
    const QString closing = QStringLiteral("</") + tag.toLower() + QLatin1Char('>');
    if (line.size() < opening.size() + closing.size() || !line.startsWith(opening) ||
        !line.endsWith(closing))
        return {};
    return line.mid(opening.size(), line.size() - opening.size() - closing.size());
}
