// Measures the console runner against plain baselines taken in the same run and prints ratios:
//   1. 1,000 back-to-back runs of a trivial child, each started from OnTerminated of the last,
//      against the same 1,000 runs started by a shell loop;
//   2. a child writing 100 MB of short lines with no handlers set, against cat of the same file
//      to /dev/null;
//   3. the same with OnNewLine set.
// Each figure is the best of a few rounds, so a busy machine distorts it less.
#include "benchtiming.h"
#include "runner/consolerunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace
{

constexpr int Runs = 1000;
constexpr qint64 OutputBytes = 100LL * 1000 * 1000;
constexpr int Rounds = 3;

// Runs `program` with `arguments`, its output thrown away, and returns the seconds it took.
double TimeProcess(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = Seconds(clock);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        std::fprintf(stderr, "baseline %s failed\n", qPrintable(program));
    return seconds;
}

// Runs `commandLine` `count` times back to back, each run started from OnTerminated of the last;
// `prepare` sets handlers; `lines` gets the number of lines of the last run. The runner, and with
// it the lines it kept, is freed outside the time.
double TimeRunner(const QString& commandLine, int count,
                  const std::function<void(TConsoleRunner&)>& prepare = {},
                  qsizetype* lines = nullptr)
{
    TConsoleRunner runner;
    runner.SetCommandLine(commandLine);
    if (prepare)
        prepare(runner);
    QEventLoop loop;
    int done = 0;
    runner.OnTerminated = [&](TConsoleRunner* sender) {
        if (sender->EndStatus() != esProcess || sender->ExitCode() != 0)
            std::fprintf(stderr, "run ended with status %d, exit code %u\n",
                         static_cast<int>(sender->EndStatus()), sender->ExitCode());
        if (++done < count)
            sender->Execute();
        else
            loop.quit();
    };
    QElapsedTimer clock;
    clock.start();
    runner.Execute();
    loop.exec();
    const double seconds = Seconds(clock);
    if (lines != nullptr)
        *lines = runner.Lines().size();
    return seconds;
}

void Report(const char* what, double runner, double baseline, double aim)
{
    std::printf("%-58s runner %8.3f s  baseline %8.3f s  ratio %6.2f  (aim %.1f)\n", what, runner,
                baseline, runner / baseline, aim);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;

    // 1. Back-to-back runs.
    {
        const QString program = QStringLiteral("/bin/true");
        const double shell = BestOf(Rounds, [&] {
            return TimeProcess(QStringLiteral("/bin/sh"),
                               {QStringLiteral("-c"),
                                QStringLiteral("i=0; while [ $i -lt %1 ]; do %2; i=$((i+1)); done")
                                    .arg(Runs)
                                    .arg(program)});
        });
        const double chained =
            BestOf(Rounds, [&] { return TimeRunner(QuoteCommandLineArgument(program), Runs); });
        Report("1,000 chained runs of /bin/true vs a shell loop", chained, shell, 1.5);
    }

    // 2 and 3. A flood of short lines.
    const QString file = folder.filePath(QStringLiteral("lines.txt"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block;
        qint64 written = 0;
        for (qint64 line = 0; written < OutputBytes; ++line) {
            block += "line " + QByteArray::number(line).rightJustified(8, '0') + " of output\n";
            if (block.size() >= (1 << 20)) {
                written += out.write(block);
                block.clear();
            }
        }
        out.write(block);
    }
    const QStringList catArguments{file};
    TimeProcess(QStringLiteral("cat"), catArguments); // into the page cache
    const double cat =
        BestOf(Rounds, [&] { return TimeProcess(QStringLiteral("cat"), catArguments); });

    const QString catCommand = QStringLiteral("cat ") + QuoteCommandLineArgument(file);
    qsizetype lineCount = 0;
    const double bare = BestOf(Rounds, [&] { return TimeRunner(catCommand, 1, {}, &lineCount); });
    Report("100 MB of short lines, no handlers, vs cat to /dev/null", bare, cat, 3.0);

    qsizetype announced = 0;
    const double withHandler = BestOf(Rounds, [&] {
        return TimeRunner(catCommand, 1, [&](TConsoleRunner& runner) {
            runner.OnNewLine = [&](TConsoleRunner*, const QString&, TOutputType AOutputType) {
                announced += AOutputType == otEntireLine ? 1 : 0;
            };
        });
    });
    Report("100 MB of short lines, OnNewLine set, vs cat to /dev/null", withHandler, cat, 3.0);
    if (announced != Rounds * lineCount)
        std::fprintf(stderr, "OnNewLine saw %lld lines, expected %lld\n",
                     static_cast<long long>(announced), static_cast<long long>(Rounds * lineCount));
    std::printf("(%lld lines of output per run)\n", static_cast<long long>(lineCount));
    return 0;
}
