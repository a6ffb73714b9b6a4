#include "web/checker.h"

#include "support/testenv.h"
#include "support/testwebservice.h"
#include "support/waitfor.h"
#include "web/scramble.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

using testweb::Answer;
using testweb::CheckAnswer;
using testweb::TestWebService;

namespace
{

const QDate Day(2026, 3, 14);
const QString Settings = QStringLiteral("Settings");

QString dateText(const QDate& date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

class CheckerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        storePath = testenv::NewFolder(QStringLiteral("checker")) +
                    QStringLiteral("/store/updatecheck.ini");
        shown.clear();
    }

    CheckerConfig config(const QString& host)
    {
        CheckerConfig result;
        result.AppTitle = QStringLiteral("Zelmora - Grandora");
        result.AppVersion = QStringLiteral("1.0");
        result.Host = host;
        result.StorePath = storePath;
        result.Today = [] { return Day; };
        result.Timeouts = PostTimeouts{2000, 2000};
        result.ShowImportant = [this](const QString& text, const QString& caption) {
            shown.push_back({text, caption,
                             QThread::currentThread() == QCoreApplication::instance()->thread(),
                             running_ && running_->CheckFinished()});
        };
        return result;
    }

    // Runs one check to its end, as one program start would.
    std::unique_ptr<TChecker> runCheck(const QString& host) { return runCheck(config(host)); }
    std::unique_ptr<TChecker> runCheck(CheckerConfig checkerConfig)
    {
        auto checker = std::make_unique<TChecker>(std::move(checkerConfig));
        running_ = checker.get();
        EXPECT_TRUE(testenv::WaitFor([&] { return checker->CheckFinished(); }, 10000));
        running_ = nullptr;
        return checker;
    }

    void preset(const char* key, const QString& value)
    {
        CheckerStore(storePath).WriteString(Settings, QLatin1String(key), value);
    }
    QString stored(const char* key) const
    {
        return CheckerStore(storePath).ReadString(Settings, QLatin1String(key),
                                                  QStringLiteral("<none>"));
    }

    // What the checker asked its creator to show as an "IMPORTANT" message.
    struct Shown {
        QString text;
        QString caption;
        bool onUiThread;
        bool checkFinishedMeanwhile;
    };

    QString storePath;
    std::vector<Shown> shown;
    TestWebService service;

private:
    const TChecker* running_ = nullptr;
};

} // namespace

TEST(Scramble, RoundTripsAndHidesTheText)
{
    for (const QString& text :
         {QString(), QStringLiteral("http://zelmora.example/download/grandora-2.0.zip?a=b&c=d"),
          QString::fromUtf8("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"),
          QString(300, QLatin1Char('x'))}) {
        const QString scrambled = ScrambleText(text);
        EXPECT_EQ(scrambled.size(), text.toUtf8().size() * 2);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]*$")).match(scrambled).hasMatch());
        EXPECT_EQ(UnscrambleText(scrambled), text);
        EXPECT_EQ(UnscrambleText(scrambled.toLower()), text);
        if (!text.isEmpty()) {
            EXPECT_NE(scrambled, QString::fromLatin1(text.toUtf8().toHex().toUpper()));
        }
    }
    const QString scrambled = ScrambleText(QStringLiteral("abc"));
    EXPECT_EQ(UnscrambleText(scrambled + QLatin1Char('7')), QStringLiteral("abc"));
    EXPECT_EQ(UnscrambleText(scrambled + QStringLiteral("G1")), QString());
    EXPECT_EQ(UnscrambleText(QStringLiteral("zz") + scrambled), QString());
}

TEST(AnswerLines, SplitAtEveryKindOfLineBreakAndTakeExactTags)
{
    EXPECT_EQ(SplitAnswerLines(QStringLiteral("a\r\nb\rc\nd\r\n")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("d")}));
    EXPECT_EQ(SplitAnswerLines(QStringLiteral("a\n\nb")),
              (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
    EXPECT_TRUE(SplitAnswerLines(QString()).isEmpty());

    const struct {
        const char* line;
        const char* tag;
        const char* value;
    } cases[] = {
        {"<version>2.0</version>", "version", "2.0"},
        {"<version>2.0</version>", "VERSION", "2.0"},
        {"<url></url>", "url", ""},
        {"<VERSION>2.0</VERSION>", "version", ""},
        {" <version>2.0</version>", "version", ""},
        {"<version>2.0</version> ", "version", ""},
        {"<version>2.0</url>", "version", ""},
        {"", "version", ""},
        {"<version>2.0</version>", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtractTag(QLatin1String(c.line), QLatin1String(c.tag)), QLatin1String(c.value))
            << c.line;
}

TEST_F(CheckerTest, FirstRunSendsTheFieldsInOrderAndRaisesTheNotice)
{
    service.SetAnswer(
        "/php/check2.php",
        Answer{CheckAnswer(QStringLiteral("9.9"), QStringLiteral("https://x.example/get"))});
    const auto checker = runCheck(service.Host());

    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const QStringList& fields = requests[0].fields;
    ASSERT_EQ(fields.size(), 7);
    const QStringList names = {QStringLiteral("cmd"),     QStringLiteral("appname"),
                               QStringLiteral("version"), QStringLiteral("os"),
                               QStringLiteral("local"),   QStringLiteral("guid"),
                               QStringLiteral("howmany")};
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(fields[i].section(QLatin1Char('='), 0, 0), names[i]);
    EXPECT_EQ(requests[0].Field(QStringLiteral("cmd")), QStringLiteral("check"));
    EXPECT_EQ(requests[0].Field(QStringLiteral("appname")), QStringLiteral("Zelmora - Grandora"));
    EXPECT_EQ(requests[0].Field(QStringLiteral("version")), QStringLiteral("1.0"));
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral("^.+ \\(Version \\d+\\.\\d+, Build \\d+, (64|32)-bit Edition\\)$"))
            .match(requests[0].Field(QStringLiteral("os")))
            .hasMatch())
        << requests[0].Field(QStringLiteral("os")).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^(xx|[a-z]{2,3}(-[A-Z0-9]{2,4})?)$"))
                    .match(requests[0].Field(QStringLiteral("local")))
                    .hasMatch());
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral("^([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12})?$"))
            .match(requests[0].Field(QStringLiteral("guid")))
            .hasMatch());
    EXPECT_EQ(requests[0].Field(QStringLiteral("howmany")), QStringLiteral("1"));

    // The https attempt failed against this plain service; the http answer counts all the same.
    EXPECT_FALSE(checker->CheckFailed()) << checker->CheckErrors().toStdString();
    EXPECT_TRUE(checker->NewVersionFound());
    EXPECT_EQ(checker->NewVersion(), QStringLiteral("9.9"));
    EXPECT_EQ(checker->CurrentURL(), QStringLiteral("https://x.example/get"));
    EXPECT_EQ(stored("CurrentVersion"), QStringLiteral("9.9"));
    EXPECT_EQ(UnscrambleText(stored("CurrentURL")), QStringLiteral("https://x.example/get"));
    EXPECT_EQ(stored("InstalledVersion"), QStringLiteral("1.0"));
    EXPECT_EQ(stored("LastUpdateCheck"), dateText(Day));
    EXPECT_EQ(stored("LastUpdateCheckCount"), QStringLiteral("1"));
    EXPECT_TRUE(shown.empty());
}

TEST_F(CheckerTest, SecureServiceIsAskedFirst)
{
    TestWebService secure(TestWebService::Scheme::Https);
    SetTrustedCertificatesForTesting(TestWebService::CertificateFile());
    secure.SetAnswer("/php/check2.php", Answer{CheckAnswer(QStringLiteral("9.9"), QString())});
    const auto checker = runCheck(secure.Host());
    SetTrustedCertificatesForTesting(QString());
    EXPECT_EQ(secure.Requests().size(), 1u);
    EXPECT_FALSE(checker->CheckFailed());
    EXPECT_TRUE(checker->NewVersionFound());
}

TEST_F(CheckerTest, AnswersAreJudgedByLinePosition)
{
    const struct {
        const char* name;
        QByteArray answer;
        bool failed;
        const char* newVersion;
        bool found;
    } cases[] = {
        {"error", "ERROR: database\r\n" + CheckAnswer(QStringLiteral("9.9"), QString()), true, "",
         false},
        {"three lines", "<version>9.9</version>\r\n<url></url>\r\n<x></x>\r\n", true, "", false},
        {"result 2", CheckAnswer(QStringLiteral("9.9"), QString(), QStringLiteral("2")), true, "",
         false},
        {"result 0", CheckAnswer(QStringLiteral("9.9"), QString(), QStringLiteral("0")), false,
         "9.9", true},
        {"upper-case tags",
         CheckAnswer(QStringLiteral("9.9"), QString())
             .replace("<version>9.9</version>", "<VERSION>9.9</VERSION>"),
         false, "", false},
        {"blank before tag",
         CheckAnswer(QStringLiteral("9.9"), QString()).replace("<version>", " <version>"), false,
         "", false},
        {"running version", CheckAnswer(QStringLiteral("1.0"), QString()), false, "1.0", false},
        {"older version", CheckAnswer(QStringLiteral("0.5"), QString()), false, "0.5", true},
        {"2.0 beta", CheckAnswer(QStringLiteral("2.0 beta"), QString()), false, "2.0 beta", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        preset("CurrentVersion", QStringLiteral("0.9"));
        service.SetAnswer("/php/check2.php", Answer{c.answer});
        const auto checker = runCheck(service.Host());
        EXPECT_EQ(checker->CheckFailed(), c.failed);
        EXPECT_EQ(checker->CheckErrors(),
                  c.failed ? QStringLiteral("INVALIDSERVERRESPONSE") : QString());
        EXPECT_EQ(checker->NewVersion(), QLatin1String(c.newVersion));
        EXPECT_EQ(checker->NewVersionFound(), c.found);
        EXPECT_EQ(stored("CurrentVersion"),
                  c.failed ? QStringLiteral("0.9") : QLatin1String(c.newVersion));
    }
}

TEST_F(CheckerTest, ScheduleAllowsFiveChecksADayAndNoticesAfterTheFirstThree)
{
    const QString today = dateText(Day);
    const QString yesterday = dateText(Day.addDays(-1));
    const struct {
        const char* name;
        QString lastCheck;
        int count;
        int showUpdate;
        bool sent;
        QString storedCount;
        bool found;
    } cases[] = {
        {"first of the day", yesterday, 5, 1, true, QStringLiteral("1"), true},
        {"third", today, 2, 1, true, QStringLiteral("3"), true},
        {"fourth", today, 3, 1, true, QStringLiteral("4"), false},
        {"fifth", today, 4, 1, true, QStringLiteral("5"), false},
        {"sixth", today, 5, 1, false, QStringLiteral("5"), false},
        {"notifications off", yesterday, 1, 0, false, QStringLiteral("1"), false},
        {"check without notice", yesterday, 1, 2, true, QStringLiteral("1"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        TestWebService fresh;
        fresh.SetAnswer("/php/check2.php", Answer{CheckAnswer(QStringLiteral("9.9"), QString())});
        preset("LastUpdateCheck", c.lastCheck);
        preset("LastUpdateCheckCount", QString::number(c.count));
        preset("ShowUpdate", QString::number(c.showUpdate));
        preset("InstalledVersion", QStringLiteral("1.0"));
        preset("HowMany", QStringLiteral("4"));
        const auto checker = runCheck(fresh.Host());
        EXPECT_EQ(fresh.Requests().size(), c.sent ? 1u : 0u);
        EXPECT_EQ(stored("LastUpdateCheckCount"), c.storedCount);
        EXPECT_EQ(stored("LastUpdateCheck"), c.sent ? today : c.lastCheck);
        EXPECT_EQ(checker->NewVersionFound(), c.found);
        EXPECT_EQ(checker->ShowUpdate(), c.showUpdate);
        EXPECT_EQ(stored("HowMany"), QStringLiteral("5"));
    }
}

TEST_F(CheckerTest, RunCounterStartsAgainWithEveryNewVersion)
{
    const struct {
        const char* installed;
        const char* howMany;
        const char* expected;
    } cases[] = {{"1.0", "7", "8"},
                 {"0.9", "7", "1"},
                 {"", "7", "1"},
                 {"1.0", "-3", "1"},
                 {"1.0", "many", "1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installed);
        SetUp();
        preset("InstalledVersion", QLatin1String(c.installed));
        preset("HowMany", QLatin1String(c.howMany));
        preset("ShowUpdate", QStringLiteral("0"));
        runCheck(service.Host());
        EXPECT_EQ(stored("HowMany"), QLatin1String(c.expected));
        EXPECT_EQ(stored("InstalledVersion"), QStringLiteral("1.0"));
    }
}

TEST_F(CheckerTest, FailuresAreRecordedWithTheirTexts)
{
    const auto checker = runCheck(testweb::ClosedHost());
    EXPECT_TRUE(checker->CheckFailed());
    EXPECT_TRUE(checker->CheckErrors().startsWith(QStringLiteral("HTTPS Response:\r")));
    EXPECT_TRUE(checker->CheckErrors().contains(QStringLiteral("\r\rHTTP Response:\r")));
    EXPECT_FALSE(checker->NewVersionFound());

    // A store that cannot be read is recorded, and a later http answer clears the record.
    SetUp();
    testenv::WriteFile(storePath, "\xFF\xFE[Settings]\n");
    service.SetAnswer("/php/check2.php", Answer{CheckAnswer(QStringLiteral("9.9"), QString())});
    const auto unreadable = runCheck(service.Host());
    EXPECT_FALSE(unreadable->CheckFailed()) << unreadable->CheckErrors().toStdString();
    EXPECT_TRUE(unreadable->NewVersionFound());
    EXPECT_FALSE(unreadable->WriteShowUpdate(0));
}

TEST_F(CheckerTest, ImportantMessageIsHandedToTheCreatorAndAwaited)
{
    service.SetAnswer("/php/check2.php",
                      Answer{CheckAnswer(QStringLiteral("1.0"), QString(), QStringLiteral("1"),
                                         QStringLiteral("Read <b>this</b> &amp; that"))});
    runCheck(service.Host());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Read <b>this</b> &amp; that"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("IMPORTANT"));
    EXPECT_TRUE(shown[0].onUiThread);
    EXPECT_FALSE(shown[0].checkFinishedMeanwhile);

    // A creator that hands no way to show it still gets a finished check.
    SetUp();
    auto silentConfig = config(service.Host());
    silentConfig.ShowImportant = nullptr;
    EXPECT_FALSE(runCheck(silentConfig)->CheckFailed());

    SetUp();
    service.SetAnswer("/php/check2.php",
                      Answer{CheckAnswer(QStringLiteral("1.0"), QString(), QStringLiteral("1"),
                                         QStringLiteral(" \t "))});
    runCheck(service.Host());
    EXPECT_TRUE(shown.empty());
}

TEST_F(CheckerTest, StoredUrlIsReadBackAndShowUpdateWrittenAfterTheCheck)
{
    preset("CurrentURL", ScrambleText(QStringLiteral("http://old.example/")));
    preset("ShowUpdate", QStringLiteral("0"));
    const auto checker = runCheck(service.Host());
    EXPECT_EQ(checker->CurrentURL(), QStringLiteral("http://old.example/"));
    EXPECT_TRUE(checker->WriteShowUpdate(1));
    EXPECT_EQ(stored("ShowUpdate"), QStringLiteral("1"));
}

TEST_F(CheckerTest, DestroyingAWaitingCheckEndsItWithinASecond)
{
    const testweb::SilentServer silent;
    auto checkerConfig = config(silent.Host());
    checkerConfig.Timeouts = CheckerTimeouts;
    auto checker = std::make_unique<TChecker>(checkerConfig);
    QThread::msleep(300);
    QElapsedTimer clock;
    clock.start();
    checker.reset();
    EXPECT_LT(clock.elapsed(), 1000);
}
