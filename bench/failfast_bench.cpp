// A long list whose files all fail at once (they are not images): how long the main window's event
// loop waits at worst while the batch runs, and how soon STOP ends such a batch, against `cat` of
// the same files as the baseline for the batch's own time. The aims: no wait over 200 ms, and a
// batch stopped within one second.
//
//   failfast_bench [files] [stop after ms]     (default 100000 and 1000; all in a temporary folder)
#include "app/imageentry.h"
#include "app/imagelistmodel.h"
#include "app/mainwindow.h"
#include "app/resultdialog.h"
#include "batch/batchoptions.h"
#include "benchwindow.h"
#include "platform/dialogs.h"
#include "platform/files.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr double LatencyAimMs = 200;
constexpr double StopAimMs = 1000;

void writeFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0 || ::write(fd, bytes.constData(), bytes.size()) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", name.constData());
        std::exit(1);
    }
    ::close(fd);
}

// Text files under names that promise photos: each must be opened and looked into to fail.
QStringList makeFiles(const QString& folder, int count)
{
    QDir().mkpath(folder);
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i) {
        paths << folder + QStringLiteral("/note%1.jpg").arg(i, 6, 10, QLatin1Char('0'));
        writeFile(paths.back(), "minutes of the meeting, not a photo\n");
    }
    return paths;
}

double catSeconds(const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    QProcess shell;
    shell.setStandardOutputFile(QProcess::nullDevice());
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("find \"$1\" -type f -print0 | xargs -0 cat"),
                 QStringLiteral("sh"), folder});
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        std::fprintf(stderr, "cat failed\n");
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e9;
}

// The longest stretch in which the event loop took no turn, measured by a timer that wants to run
// every millisecond.
class LatencyProbe
{
public:
    LatencyProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double now = clock_.nsecsElapsed() / 1e6;
            worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
    }
    void start()
    {
        worst_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    double stop()
    {
        timer_.stop();
        return std::max(worst_, clock_.nsecsElapsed() / 1e6 - last_);
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0;
    double worst_ = 0;
};

struct Batch {
    double seconds = 0;       // from Start to the end, or to the stop taking effect
    double worstWaitMs = 0;   // the event loop's longest wait
    double stopTookMs = -1;   // from the moment STOP was due to the batch standing still
    double startTookMs = 0;   // the click on Start itself
    int failed = 0;           // rows that ended Failed
    int changedAfterStop = 0; // rows changed once the batch had stopped
};

QStringList statusesOf(ImageListModel& images)
{
    QStringList all;
    for (const TImageEntry& entry : images.entries())
        all << entry.status;
    return all;
}

Batch runBatch(MainWindow& window, const QStringList& files, int stopAfterMs)
{
    child<QAction>(window, "fileClearAction")->trigger();
    auto* images = child<ImageListModel>(window, "imageListModel");
    images->appendFiles(files);
    QPushButton* startStop = child<QPushButton>(window, "startStopButton");
    QEventLoop loop;
    Batch batch;
    bool ended = false;
    SetResultDialogHookForTesting([&](ResultDialog&) {
        ended = true;
        loop.quit();
    });
    LatencyProbe probe;
    QElapsedTimer clock;
    QTimer stopper;
    stopper.setSingleShot(true);
    stopper.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        startStop->click();
        // Stopped: Start is offered again once nothing runs any more.
        QTimer* watch = new QTimer(&stopper);
        QObject::connect(watch, &QTimer::timeout, [&, watch] {
            if (startStop->isEnabled()) {
                batch.stopTookMs = clock.nsecsElapsed() / 1e6 - stopAfterMs;
                watch->stop();
                loop.quit();
            }
        });
        watch->start(0);
    });
    probe.start();
    clock.start();
    startStop->click();
    batch.startTookMs = clock.nsecsElapsed() / 1e6;
    if (stopAfterMs > 0)
        stopper.start(stopAfterMs);
    if (!ended)
        loop.exec();
    batch.seconds = clock.nsecsElapsed() / 1e9;
    batch.worstWaitMs = probe.stop();
    SetResultDialogHookForTesting(nullptr);
    stopper.stop();
    // A batch that ended before STOP could take effect leaves stopTookMs at -1.
    if (stopAfterMs > 0 && !ended) {
        const QStringList before = statusesOf(*images);
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const QStringList after = statusesOf(*images);
        for (qsizetype row = 0; row < before.size(); ++row)
            batch.changedAfterStop += before[row] != after[row];
    }
    for (const TImageEntry& entry : images->entries())
        batch.failed += entry.status == QStringLiteral("Failed");
    return batch;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int stopAfterMs = argc > 2 ? std::atoi(argv[2]) : 1000;
    QTemporaryDir work;
    KeepUserFoldersOut(work.path());
    QApplication app(argc, argv);

    // An upscaler and its model are there; no file ever gets as far as them.
    const QString program = work.path() + QStringLiteral("/program/");
    QDir().mkpath(program + QStringLiteral("realesrgan/models"));
    writeFile(program + QStringLiteral("realesrgan/realesrgan-ncnn-vulkan"), "#!/bin/sh\nexit 0\n");
    for (const char* suffix : {".param", ".bin"})
        writeFile(program + QStringLiteral("realesrgan/models/realesrgan-x4plus") +
                      QLatin1String(suffix),
                  {});
    writeFile(program + QStringLiteral("settings.ini"), "[Settings]\nEngine=Upscaler\n");
    platform::SetExecutableFolderForTesting(program);
    platform::DialogScript dialogs;
    platform::EnableDialogScriptForTesting(&dialogs);

    const QString folder = work.path() + QStringLiteral("/notes");
    const QStringList files = makeFiles(folder, count);
    catSeconds(folder); // both contenders find the files in the kernel's caches
    const double cat = catSeconds(folder);

    MainWindow window(QStringList{});
    // The update check would reach out to the network.
    child<QTimer>(window, "updateCheckTimer")->stop();
    window.show();
    pick(window, "imageTypeBox", static_cast<int>(TImageType::Photo));
    pick(window, "actionBox", static_cast<int>(TAction::CreateCopies));
    pick(window, "engineBox", static_cast<int>(TEngine::Upscaler));
    const QString destination = work.path() + QStringLiteral("/out");
    QDir().mkpath(destination);
    child<QComboBox>(window, "destinationBox")->setEditText(destination);
    QCoreApplication::processEvents();

    const Batch full = runBatch(window, files, 0);
    const Batch stopped = runBatch(window, files, stopAfterMs);

    std::printf("failfast_bench: %d listed files that are not images, the main window shown\n",
                count);
    std::printf("  cat of the files:      %8.2f s\n", cat);
    std::printf("  whole batch:           %8.2f s, %d failed (ratio batch/cat: %.1f)\n",
                full.seconds, full.failed, full.seconds / cat);
    std::printf("  worst wait of the window during it: %8.1f ms (aim: %.0f ms or less); the click "
                "on Start itself: %.1f ms\n",
                full.worstWaitMs, LatencyAimMs, full.startTookMs);
    if (stopped.stopTookMs < 0)
        std::printf("  STOP after %d ms had no effect: the batch ran to its end, %d failed\n",
                    stopAfterMs, stopped.failed);
    else
        std::printf("  STOP after %d ms took effect in %8.1f ms (aim: %.0f ms or less); %d failed "
                    "before it, %d rows changed after it\n",
                    stopAfterMs, stopped.stopTookMs, StopAimMs, stopped.failed,
                    stopped.changedAfterStop);
    std::printf("  worst wait of the window up to STOP: %8.1f ms\n", stopped.worstWaitMs);
    platform::EnableDialogScriptForTesting(nullptr);
    platform::SetExecutableFolderForTesting({});
    const bool met = full.worstWaitMs <= LatencyAimMs && stopped.worstWaitMs <= LatencyAimMs &&
                     stopped.stopTookMs >= 0 && stopped.stopTookMs <= StopAimMs &&
                     full.failed == count && stopped.changedAfterStop == 0;
    std::printf("  %s\n", met ? "aims met" : "aims NOT met");
    return 0;
}
