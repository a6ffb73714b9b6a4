#include "runner/consolerunner.h"

#include "support/testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QProcess>
#include <QStringDecoder>
#include <QTest>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

QString ChildCommand(const QStringList& actions)
{
    QString commandLine = QuoteCommandLineArgument(QStringLiteral(RUNNER_CHILD));
    for (const QString& action : actions)
        commandLine += QLatin1Char(' ') + QuoteCommandLineArgument(action);
    return commandLine;
}

// Everything a runner reports, in the order it arrives, as short texts:
// "B:text" and "E:text" for partial and entire lines, "X:Class:message", "T" for the end.
struct Recorder {
    explicit Recorder(TConsoleRunner& runner)
    {
        runner.OnNewLine = [this](TConsoleRunner* sender, const QString& line, TOutputType type) {
            events << (type == otEntireLine ? QStringLiteral("E:") : QStringLiteral("B:")) + line;
            // An entire line is in Lines before it is announced.
            if (type == otEntireLine && sender->Lines().value(sender->Lines().size() - 1) != line)
                ++linesNotAddedFirst;
            if (QThread::currentThread() != qApp->thread())
                ++offThread;
        };
        runner.OnNewChar = [this](TConsoleRunner*, QChar c) { chars += c; };
        runner.OnExecuteError = [this](TConsoleRunner* sender, const std::exception& e,
                                       bool& handled) {
            events << QStringLiteral("X:%1:%2").arg(ExceptionClassName(e),
                                                    QString::fromUtf8(e.what()));
            runningInError = sender->IsRunning();
            handled = handleErrors;
        };
        runner.OnTerminated = [this](TConsoleRunner* sender) {
            events << QStringLiteral("T");
            runningInTerminated = sender->IsRunning();
            statusInTerminated = sender->EndStatus();
            ++terminated;
        };
        runner.WorkerErrorBox = [this](const QString& text, const QString& caption,
                                       unsigned flags) {
            boxes << QStringLiteral("%1|%2|%3").arg(text, caption).arg(flags, 0, 16);
        };
    }
    bool WaitUntilTerminated(int timeoutMs = 15000)
    {
        return QTest::qWaitFor([this] { return terminated > 0; }, timeoutMs);
    }

    QStringList events;
    QString chars;
    QStringList boxes;
    int terminated = 0;
    int linesNotAddedFirst = 0;
    int offThread = 0;
    bool handleErrors = false;
    bool runningInError = true;
    bool runningInTerminated = true;
    TEndStatus statusInTerminated = esNone;
};

// Writes `chunks` one after the other, each in its own read: the child writes a chunk and waits
// for a line on its stdin, which the test sends once all characters of that chunk have arrived.
struct ChunkCase {
    const char* name;
    std::vector<QByteArray> chunks;
    QStringList lines;
    QStringList events;
};

TEST(ConsoleRunner, SplitsOutputIntoLinesAcrossReads)
{
    using namespace Qt::Literals::StringLiterals;
    const std::vector<ChunkCase> cases = {
        {"CR LF in one read", {"a\r\nb\r\n"_ba}, {u"a"_s, u"b"_s}, {u"E:a"_s, u"E:b"_s}},
        {"LF CR", {"a\n\rb"_ba}, {u"a"_s, u""_s, u"b"_s}, {u"E:a"_s, u"E:"_s, u"B:b"_s, u"E:b"_s}},
        {"CR ends one read, LF starts the next",
         {"a\r"_ba, "\nb\n"_ba},
         {u"a"_s, u""_s, u"b"_s},
         {u"E:a"_s, u"E:"_s, u"E:b"_s}},
        {"line completed across reads", {"ab"_ba, "c\r\n"_ba}, {u"abc"_s}, {u"B:ab"_s, u"E:abc"_s}},
        {"NULs stay out of lines", {QByteArray("a\0b\n\0", 5)}, {u"ab"_s}, {u"E:ab"_s}},
        {"character split between reads",
         {"x\xC3"_ba, "\xA9y\n"_ba},
         {u"x\u00e9y"_s},
         {u"B:x"_s, u"E:x\u00e9y"_s}},
        {"unfinished last line",
         {"one\ntail"_ba},
         {u"one"_s, u"tail"_s},
         {u"E:one"_s, u"B:tail"_s, u"E:tail"_s}},
    };
    for (const ChunkCase& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList actions;
        std::vector<qsizetype> charsAfterChunk;
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString decoded;
        for (const QByteArray& chunk : c.chunks) {
            QString escaped;
            for (char byte : chunk)
                escaped += QStringLiteral("\\x%1").arg(static_cast<unsigned char>(byte), 2, 16,
                                                       QLatin1Char('0'));
            actions << QStringLiteral("out:") + escaped << QStringLiteral("wait");
            decoded += QString(decoder.decode(chunk));
            charsAfterChunk.push_back(decoded.size());
        }
        TConsoleRunner runner;
        Recorder record(runner);
        QStringList output{QStringLiteral("kept from before")};
        runner.SetOutputLines(&output);
        runner.SetCommandLine(ChildCommand(actions));
        size_t released = 0;
        runner.OnNewChar = [&](TConsoleRunner* sender, QChar ch) {
            record.chars += ch;
            if (released < charsAfterChunk.size() &&
                record.chars.size() == charsAfterChunk[released]) {
                ++released;
                sender->SendLine(QString(), true);
            }
        };
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated());
        EXPECT_EQ(runner.Lines(), c.lines);
        EXPECT_EQ(output, QStringList{QStringLiteral("kept from before")} + c.lines);
        EXPECT_EQ(record.events, c.events + QStringList{QStringLiteral("T")});
        EXPECT_EQ(record.chars, decoded);
        EXPECT_EQ(record.linesNotAddedFirst, 0);
        EXPECT_EQ(record.offThread, 0);
        EXPECT_EQ(runner.EndStatus(), esProcess);
    }
}

TEST(ConsoleRunner, DecodingHandlerSeesEachReadAsItCame)
{
    TConsoleRunner runner;
    Recorder record(runner);
    QList<QByteArray> blocks;
    // Runs on the reader thread; `blocks` is looked at only once the run is over.
    runner.SetOnCharDecoding([&](QObject* sender, QIODevice& buffer) {
        EXPECT_EQ(sender, &runner);
        blocks << buffer.readAll();
        return QString::fromLatin1(blocks.last());
    });
    int chars = 0;
    runner.OnNewChar = [&](TConsoleRunner* sender, QChar) {
        if (++chars == 2) // "x" and the lone lead byte
            sender->SendLine(QString(), true);
    };
    runner.SetCommandLine(ChildCommand(
        {QStringLiteral("out:x\\xC3"), QStringLiteral("wait"), QStringLiteral("out:\\xA9y\\n")}));
    runner.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !runner.IsRunning(); }, 15000));
    EXPECT_EQ(blocks, (QList<QByteArray>{"x\xC3", "\xA9y\n"}));
    EXPECT_EQ(runner.Lines(), QStringList{QString::fromLatin1("x\xC3\xA9y")});
}

TEST(ConsoleRunner, FloodOfBothStreamsArrivesWholeBeforeTheEnd)
{
    const int count = 20000;
    TConsoleRunner runner;
    Recorder record(runner);
    runner.OnNewChar = nullptr;
    int linesWhenTerminated = -1;
    runner.OnTerminated = [&](TConsoleRunner* sender) {
        linesWhenTerminated = static_cast<int>(sender->Lines().size());
        record.events << QStringLiteral("T");
        ++record.terminated;
    };
    runner.SetCommandLine(ChildCommand({QStringLiteral("flood:%1").arg(count)}));
    runner.Execute();
    ASSERT_TRUE(record.WaitUntilTerminated(60000));
    ASSERT_EQ(linesWhenTerminated, 2 * count);
    EXPECT_EQ(record.events.last(), QStringLiteral("T"));
    int nextOut = 0;
    int nextErr = 0;
    for (const QString& line : runner.Lines()) {
        if (line == QStringLiteral("out %1").arg(nextOut))
            ++nextOut;
        else if (line == QStringLiteral("err %1").arg(nextErr))
            ++nextErr;
        else
            FAIL() << "unexpected line " << line.toStdString();
    }
    EXPECT_EQ(nextOut, count);
    EXPECT_EQ(nextErr, count);
    EXPECT_EQ(runner.EndStatus(), esProcess);
}

TEST(ConsoleRunner, ReportsHowTheChildEnded)
{
    struct {
        QStringList actions;
        std::uint32_t exitCode;
    } cases[] = {
        {{QStringLiteral("exit:7")}, 7},
        {{QStringLiteral("signal:%1").arg(SIGTERM)}, 128 + SIGTERM},
        {{}, 0},
    };
    TConsoleRunner runner;
    for (const auto& c : cases) {
        Recorder record(runner);
        runner.SetCommandLine(ChildCommand(c.actions + QStringList{QStringLiteral("pid")}));
        runner.Execute();
        EXPECT_TRUE(runner.IsRunning());
        EXPECT_EQ(runner.EndStatus(), esStill_Active);
        ASSERT_TRUE(record.WaitUntilTerminated());
        EXPECT_EQ(runner.ExitCode(), c.exitCode);
        EXPECT_EQ(record.statusInTerminated, esProcess);
        EXPECT_FALSE(record.runningInTerminated);
        if (c.exitCode == 0) {
            EXPECT_EQ(runner.Lines(), QStringList{QStringLiteral("pid:%1").arg(
                                          runner.ProcessInformation().dwProcessId)});
        }
    }
}

TEST(ConsoleRunner, ProgramIsFoundInPathWithoutASlash)
{
    TConsoleRunner runner;
    Recorder record(runner);
    runner.SetCommandLine(QStringLiteral("sh -c \"echo found; exit 3\""));
    runner.Execute();
    ASSERT_TRUE(record.WaitUntilTerminated());
    EXPECT_EQ(runner.Lines(), QStringList{QStringLiteral("found")});
    EXPECT_EQ(runner.ExitCode(), 3u);
}

TEST(ConsoleRunner, StopKillsTheChildAndEndsWithExitCodeZero)
{
    TConsoleRunner runner;
    runner.Stop(); // idle: nothing happens
    EXPECT_EQ(runner.EndStatus(), esNone);
    Recorder record(runner);
    runner.SetCommandLine(ChildCommand({QStringLiteral("pid"), QStringLiteral("sleep:60000")}));
    runner.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner.Lines().size() == 1; }, 10000));
    runner.Stop();
    ASSERT_TRUE(record.WaitUntilTerminated(10000));
    EXPECT_EQ(runner.EndStatus(), esStop);
    EXPECT_EQ(runner.ExitCode(), 0u);
    EXPECT_NE(::kill(static_cast<pid_t>(runner.ProcessInformation().dwProcessId), 0), 0);
}

TEST(ConsoleRunner, RefusedKillLeavesTheChildRunning)
{
    TConsoleRunner runner;
    Recorder record(runner);
    int asked = 0;
    runner.OnTerminateProcess = [&](TConsoleRunner* sender, bool& canTerminate) {
        EXPECT_EQ(sender, &runner);
        EXPECT_TRUE(canTerminate);
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        ++asked;
        canTerminate = false;
    };
    runner.SetCommandLine(ChildCommand({QStringLiteral("pid"), QStringLiteral("sleep:60000")}));
    runner.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner.Lines().size() == 1; }, 10000));
    runner.Stop();
    ASSERT_TRUE(record.WaitUntilTerminated(10000));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(runner.EndStatus(), esStop);
    const auto pid = static_cast<pid_t>(runner.ProcessInformation().dwProcessId);
    EXPECT_EQ(::kill(pid, 0), 0) << "the child still runs";
    ::kill(pid, SIGKILL);
}

TEST(ConsoleRunner, TimeLimitsAreStrictAndZeroMeansNone)
{
    {
        // With a limit of 1 the run ends at the tick that makes the count 2.
        TConsoleRunner runner;
        Recorder record(runner);
        runner.SetMaxTimeAfterBeginning(1);
        runner.SetCommandLine(ChildCommand({QStringLiteral("sleep:60000")}));
        QElapsedTimer clock;
        clock.start();
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated(10000));
        EXPECT_GE(clock.elapsed(), 1900);
        EXPECT_EQ(runner.EndStatus(), esTime);
        EXPECT_EQ(runner.ExitCode(), 0u);
    }
    {
        // Lines every 400 ms keep a one-second limit since the last output from running out.
        TConsoleRunner runner;
        Recorder record(runner);
        runner.SetMaxTimeAfterLastOutput(1);
        QStringList actions;
        for (int i = 0; i < 7; ++i)
            actions << QStringLiteral("out:%1\\n").arg(i) << QStringLiteral("sleep:400");
        actions << QStringLiteral("sleep:60000");
        runner.SetCommandLine(ChildCommand(actions));
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated(15000));
        EXPECT_EQ(runner.Lines().size(), 7);
        EXPECT_EQ(runner.EndStatus(), esTime);
    }
    {
        TConsoleRunner runner;
        Recorder record(runner);
        runner.SetMaxTimeAfterBeginning(0);
        runner.SetMaxTimeAfterLastOutput(-1);
        runner.SetCommandLine(ChildCommand({QStringLiteral("sleep:2500")}));
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated(15000));
        EXPECT_EQ(runner.EndStatus(), esProcess);
    }
}

TEST(ConsoleRunner, EnvironmentIsAppendedAfterTheInheritedOne)
{
    qputenv("GRANDORA_RUNNER_INHERITED", "parent");
    TConsoleRunner runner;
    Recorder record(runner);
    runner.Environment() << QStringLiteral("GRANDORA_RUNNER_EXTRA=one two")
                         << QStringLiteral("GRANDORA_RUNNER_INHERITED=child");
    runner.SetCommandLine(ChildCommand({QStringLiteral("env:GRANDORA_RUNNER_EXTRA"),
                                        QStringLiteral("env:GRANDORA_RUNNER_INHERITED")}));
    runner.Execute();
    ASSERT_TRUE(record.WaitUntilTerminated());
    EXPECT_EQ(runner.Lines(), (QStringList{QStringLiteral("GRANDORA_RUNNER_EXTRA=one two"),
                                           QStringLiteral("GRANDORA_RUNNER_INHERITED=parent"),
                                           QStringLiteral("GRANDORA_RUNNER_INHERITED=child")}));
    qunsetenv("GRANDORA_RUNNER_INHERITED");
}

TEST(ConsoleRunner, CurrentDirAndPriorityReachTheChild)
{
    const QString folder = testenv::NewFolder(QStringLiteral("with blank"));
    TConsoleRunner runner;
    Recorder record(runner);
    runner.SetCurrentDir(folder);
    runner.SetPriority(IDLE_PRIORITY_CLASS);
    runner.SetCommandLine(ChildCommand({QStringLiteral("cwd"), QStringLiteral("nice")}));
    runner.Execute();
    ASSERT_TRUE(record.WaitUntilTerminated());
    EXPECT_EQ(runner.Lines(),
              (QStringList{QDir(folder).canonicalPath(), QStringLiteral("nice:19")}));
}

TEST(ConsoleRunner, StartFailuresEndWithErrorThenTerminated)
{
    const QString folder = testenv::NewFolder(QStringLiteral("start"));
    const QString notExecutable = folder + QStringLiteral("/script");
    testenv::WriteFile(notExecutable, "#!/bin/sh\n");
    struct {
        QString commandLine;
        QString currentDir;
        QString reason;
    } cases[] = {
        {folder + QStringLiteral("/missing"), {}, QStringLiteral("No such file or directory")},
        {QStringLiteral("grandora-no-such-program-in-path"),
         {},
         QStringLiteral("No such file or directory")},
        {notExecutable, {}, QStringLiteral("Permission denied")},
        {ChildCommand({}), folder + QStringLiteral("/missing folder"),
         QStringLiteral("No such file or directory")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine.toStdString());
        TConsoleRunner runner;
        Recorder record(runner);
        runner.SetCommandLine(c.commandLine);
        runner.SetCurrentDir(c.currentDir);
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated());
        const QString message =
            QStringLiteral("Error creating Process: %1 - (%2)").arg(c.commandLine, c.reason);
        EXPECT_EQ(record.events, (QStringList{QStringLiteral("X:ECreateProcessError:") + message,
                                              QStringLiteral("T")}));
        EXPECT_EQ(record.statusInTerminated, esError);
        EXPECT_FALSE(record.runningInError);
        EXPECT_FALSE(record.runningInTerminated);
        // The handler left AHandled false, so the error box follows.
        const QString caption = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        EXPECT_EQ(
            record.boxes,
            QStringList{QStringLiteral("ECreateProcessError\r\n%1|%2|2010").arg(message, caption)});
    }
}

TEST(ConsoleRunner, ErrorHandlerDecidesAboutTheErrorBox)
{
    const QString missing = testenv::NewFolder(QStringLiteral("box")) + QStringLiteral("/missing");
    {
        TConsoleRunner runner;
        Recorder record(runner);
        record.handleErrors = true;
        runner.SetCommandLine(missing);
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated());
        EXPECT_TRUE(record.boxes.isEmpty());
    }
    {
        TConsoleRunner runner;
        Recorder record(runner);
        runner.OnExecuteError = [](TConsoleRunner*, const std::exception&, bool&) {
            throw EConsoleRunner(QStringLiteral("handler failed"));
        };
        runner.SetCommandLine(missing);
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated());
        ASSERT_EQ(record.boxes.size(), 1);
        EXPECT_TRUE(
            record.boxes[0].startsWith(QStringLiteral("EConsoleRunner\r\nhandler failed|")));
    }
    {
        TConsoleRunner runner;
        Recorder record(runner);
        runner.OnExecuteError = nullptr;
        runner.SetCommandLine(missing);
        runner.Execute();
        ASSERT_TRUE(record.WaitUntilTerminated());
        EXPECT_EQ(record.boxes.size(), 1);
    }
}

TEST(ConsoleRunner, UsageErrorsChangeNothing)
{
    TConsoleRunner runner;
    Recorder record(runner);
    auto message = [](auto&& call) {
        try {
            call();
        } catch (const EConsoleRunner& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    EXPECT_EQ(message([&] { runner.SendLine(QStringLiteral("x"), true); }),
              QStringLiteral("ConsoleRunner not running"));
    EXPECT_EQ(message([&] { runner.Execute(); }), QStringLiteral("No Commandline to execute"));
    EXPECT_FALSE(runner.IsRunning());

    runner.SetCommandLine(ChildCommand({QStringLiteral("out:first\\n")}));
    runner.Execute();
    ASSERT_TRUE(record.WaitUntilTerminated());
    runner.SetCommandLine(QString());
    EXPECT_EQ(message([&] { runner.Execute(); }), QStringLiteral("No Commandline to execute"));
    EXPECT_EQ(runner.Lines(), QStringList{QStringLiteral("first")});
    EXPECT_EQ(runner.EndStatus(), esProcess);

    runner.SetCommandLine(ChildCommand({QStringLiteral("sleep:60000")}));
    runner.Execute();
    EXPECT_EQ(message([&] { runner.Execute(); }), QStringLiteral("ConsoleRunner still running"));
    EXPECT_EQ(message([&] { runner.SetOnCharDecoding(nullptr); }),
              QStringLiteral("ConsoleRunner still running"));
    EXPECT_EQ(message([&] { runner.SetOnCharEncoding(nullptr); }),
              QStringLiteral("ConsoleRunner still running"));
    record.terminated = 0;
    runner.Stop();
    ASSERT_TRUE(record.WaitUntilTerminated());
}

TEST(ConsoleRunner, ExecuteFromOnTerminatedChainsRuns)
{
    TConsoleRunner runner;
    QStringList output;
    runner.SetOutputLines(&output);
    QList<QStringList> linesPerRun;
    int runs = 0;
    runner.OnTerminated = [&](TConsoleRunner* sender) {
        linesPerRun << sender->Lines();
        if (++runs < 3) {
            sender->SetCommandLine(ChildCommand({QStringLiteral("out:run %1\\n").arg(runs + 1)}));
            sender->Execute();
        }
    };
    runner.SetCommandLine(ChildCommand({QStringLiteral("out:run 1\\n")}));
    runner.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 3; }, 15000));
    EXPECT_EQ(linesPerRun, (QList<QStringList>{{QStringLiteral("run 1")},
                                               {QStringLiteral("run 2")},
                                               {QStringLiteral("run 3")}}));
    EXPECT_EQ(output, (QStringList{QStringLiteral("run 1"), QStringLiteral("run 2"),
                                   QStringLiteral("run 3")}));
}

TEST(ConsoleRunner, SendLineMarkersAndEncoding)
{
    TConsoleRunner runner;
    Recorder record(runner);
    runner.SetCommandLine(ChildCommand({QStringLiteral("readin:3"), QStringLiteral("readin:1"),
                                        QStringLiteral("readin:2"), QStringLiteral("readin:4")}));
    runner.Execute();
    runner.SendLine(QStringLiteral("x"), true);
    runner.SendLine(QString(), false); // writes nothing at all
    runner.SendLine(QStringLiteral("y"), false);
    runner.SendLine(QString(), true);
    runner.SendLine(QStringLiteral("\u00e9\u00e9"), false);
    ASSERT_TRUE(record.WaitUntilTerminated());
    EXPECT_EQ(runner.Lines(),
              (QStringList{QStringLiteral("in:780d0a"), QStringLiteral("in:79"),
                           QStringLiteral("in:0d0a"), QStringLiteral("in:c3a9c3a9")}));

    runner.SetOnCharEncoding([](QObject* sender, const QString& chars, QIODevice& out) {
        EXPECT_NE(qobject_cast<TConsoleRunner*>(sender), nullptr);
        out.write(chars.toUpper().toLatin1());
    });
    record.terminated = 0;
    runner.SetCommandLine(ChildCommand({QStringLiteral("readin:4")}));
    runner.Execute();
    runner.SendLine(QStringLiteral("ab"), true);
    ASSERT_TRUE(record.WaitUntilTerminated());
    EXPECT_EQ(runner.Lines(), QStringList{QStringLiteral("in:41420d0a")});
}

TEST(ConsoleRunner, InputToOutputEchoesWithoutLosingLines)
{
    TConsoleRunner runner;
    Recorder record(runner);
    QStringList output;
    runner.SetOutputLines(&output);
    runner.SetInputToOutput(true);
    runner.OnNewLine = [&](TConsoleRunner* sender, const QString& line, TOutputType type) {
        record.events << (type == otEntireLine ? QStringLiteral("E:") : QStringLiteral("B:")) +
                             line;
        if (type == otBeginningOfLine && line == QStringLiteral("Name? "))
            sender->SendLine(QStringLiteral("Bob"), true);
    };
    runner.SetCommandLine(ChildCommand({QStringLiteral("out:done\\n"), QStringLiteral("out:Name? "),
                                        QStringLiteral("readin:5"), QStringLiteral("exit:0")}));
    runner.Execute();
    ASSERT_TRUE(record.WaitUntilTerminated());
    EXPECT_EQ(output, (QStringList{QStringLiteral("done"), QStringLiteral("Name? Bob\r\n"),
                                   QStringLiteral("in:426f620d0a")}));
    EXPECT_EQ(record.events, (QStringList{QStringLiteral("E:done"), QStringLiteral("B:Name? "),
                                          QStringLiteral("E:Name? Bob\r\n"),
                                          QStringLiteral("E:in:426f620d0a"), QStringLiteral("T")}));
}

TEST(ConsoleRunner, WritingToAChildThatStoppedReadingIsHarmless)
{
    TConsoleRunner runner;
    Recorder record(runner);
    runner.OnNewLine = [&](TConsoleRunner* sender, const QString& line, TOutputType) {
        if (line == QStringLiteral("closed"))
            sender->SendLine(QStringLiteral("into a closed pipe"), true);
    };
    runner.SetCommandLine(ChildCommand(
        {QStringLiteral("closein"), QStringLiteral("out:closed\\n"), QStringLiteral("sleep:300")}));
    runner.Execute();
    ASSERT_TRUE(record.WaitUntilTerminated());
    EXPECT_EQ(runner.EndStatus(), esProcess);

    // A child that never reads: the worker waits on the full pipe only until Stop.
    record.terminated = 0;
    runner.OnNewLine = nullptr;
    runner.SetCommandLine(ChildCommand({QStringLiteral("sleep:60000")}));
    runner.Execute();
    runner.SendLine(QString(4 << 20, QLatin1Char('z')), true);
    QTest::qWait(200);
    runner.Stop();
    ASSERT_TRUE(record.WaitUntilTerminated(10000));
    EXPECT_EQ(runner.EndStatus(), esStop);
}

int OpenDescriptorCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                                .size());
}

int ThreadCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task"))
                                .entryList(QDir::NoDotAndDotDot | QDir::Dirs)
                                .size());
}

TEST(ConsoleRunner, ThousandChainedRunsLeakNothing)
{
    TConsoleRunner runner;
    const int threadsBefore = ThreadCount();
    int descriptorsBefore = 0; // counted after the first run, which makes the runner's timer
    int runs = 0;
    runner.SetCommandLine(ChildCommand({}));
    runner.OnTerminated = [&](TConsoleRunner* sender) {
        EXPECT_EQ(sender->EndStatus(), esProcess);
        if (++runs == 1)
            descriptorsBefore = OpenDescriptorCount();
        if (runs < 1000)
            sender->Execute();
    };
    runner.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 1000; }, 120000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ThreadCount() <= threadsBefore; }, 5000));
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);

    // Nothing of ours reaches a child either.
    bool ended = false;
    runner.OnTerminated = [&](TConsoleRunner*) { ended = true; };
    runner.SetCommandLine(ChildCommand({QStringLiteral("fds")}));
    runner.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 10000));
    EXPECT_EQ(runner.Lines(), QStringList{QStringLiteral("fds: 0 1 2")});
}

TEST(ConsoleRunner, DestroyingARunningComponentKillsTheChildAndDeliversNothing)
{
    int delivered = 0;
    auto runner = std::make_unique<TConsoleRunner>();
    runner->OnNewLine = [&](TConsoleRunner*, const QString&, TOutputType) { ++delivered; };
    runner->OnNewChar = [&](TConsoleRunner*, QChar) { ++delivered; };
    runner->OnTerminated = [&](TConsoleRunner*) { ++delivered; };
    runner->SetCommandLine(
        ChildCommand({QStringLiteral("pid"), QStringLiteral("flood:100000000")}));
    runner->Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->Lines().size() > 100; }, 10000));
    const auto pid = static_cast<pid_t>(runner->ProcessInformation().dwProcessId);
    QThread::msleep(50); // let output pile up in the queue
    runner.reset();
    const int before = delivered;
    QTest::qWait(100);
    EXPECT_EQ(delivered, before);
    EXPECT_NE(::kill(pid, 0), 0) << "the child has been ended and reaped";

    // Destroyed while the worker waits for the answer of OnTerminateProcess.
    runner = std::make_unique<TConsoleRunner>();
    bool asked = false;
    runner->OnTerminateProcess = [&](TConsoleRunner*, bool&) { asked = true; };
    runner->OnTerminated = [&](TConsoleRunner*) { ++delivered; };
    runner->SetCommandLine(ChildCommand({QStringLiteral("pid"), QStringLiteral("sleep:60000")}));
    runner->Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->Lines().size() == 1; }, 10000));
    const auto sleeper = static_cast<pid_t>(runner->ProcessInformation().dwProcessId);
    runner->Stop();
    QThread::msleep(100); // the worker has posted its question and waits
    runner.reset();
    QTest::qWait(100);
    EXPECT_FALSE(asked);
    EXPECT_EQ(delivered, before);
    EXPECT_NE(::kill(sleeper, 0), 0);
}

// A program killed outright runs no code of its own, yet its child must not go on without it.
TEST(ConsoleRunner, TheChildEndsWhenTheProgramIsKilled)
{
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        QProcess host;
        host.start(QStringLiteral(RUNNER_HOST), {ChildCommand({QStringLiteral("sleep:60000")})});
        ASSERT_TRUE(host.waitForReadyRead(10000));
        const auto child = static_cast<pid_t>(host.readLine().trimmed().toInt());
        ASSERT_GT(child, 0);
        ASSERT_EQ(::kill(child, 0), 0) << "the child runs";

        ::kill(static_cast<pid_t>(host.processId()), SIGKILL);
        host.waitForFinished(5000);
        QElapsedTimer sinceKill;
        sinceKill.start();
        EXPECT_TRUE(QTest::qWaitFor([child] { return testenv::ProcessEnded(child); }, 1000))
            << "the child still runs " << sinceKill.elapsed() << " ms after the kill";
    }
}

} // namespace
