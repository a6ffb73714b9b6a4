// How long a batch of small images takes through the main window ("Resize and Create Copies"
// into a folder, the fake upscaler in its fastest mode) against a shell loop that starts the
// same fake upscaler for each image and copies its output. Prints the ratio; the aim is 1.25 or
// less.
//
//   pipeline_bench [images]     (default 500; everything lives in a temporary folder)
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
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace
{

constexpr int Rounds = 2;

double shellLoop(const QString& images, const QString& work, const QString& out)
{
    QDir().mkpath(out);
    const QString script =
        QStringLiteral("for f in \"$1\"/*.png; do\n"
                       "  \"$2\" -i \"$f\" -o \"$3/zelimageupscale.png\" -n realesrgan-x4plus "
                       ">/dev/null || exit 1\n"
                       "  cp \"$3/zelimageupscale.png\" \"$4/${f##*/}\" || exit 1\n"
                       "done\n");
    QElapsedTimer timer;
    timer.start();
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), script, QStringLiteral("sh"), images,
                 work + QStringLiteral("/program/realesrgan/realesrgan-ncnn-vulkan"), work, out});
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        std::fprintf(stderr, "shell loop failed: %s\n", shell.readAllStandardError().constData());
        std::exit(1);
    }
    return timer.elapsed() / 1000.0;
}

// Each round lists the images afresh: a completed image is not enlarged again.
void listImages(MainWindow& window, const QString& images)
{
    child<QAction>(window, "fileClearAction")->trigger();
    QStringList paths;
    for (const QString& name :
         QDir(images).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
        paths << images + QLatin1Char('/') + name;
    child<ImageListModel>(window, "imageListModel")->appendFiles(paths);
}

double windowBatch(MainWindow& window, const QString& images, const QString& out)
{
    listImages(window, images);
    QDir().mkpath(out);
    child<QComboBox>(window, "destinationBox")->setEditText(out);
    QEventLoop batch;
    bool ended = false;
    SetResultDialogHookForTesting([&](ResultDialog&) {
        ended = true;
        batch.quit();
    });
    QElapsedTimer timer;
    timer.start();
    child<QPushButton>(window, "startStopButton")->click();
    if (!ended)
        batch.exec();
    const double seconds = timer.elapsed() / 1000.0;
    for (const TImageEntry& entry : child<ImageListModel>(window, "imageListModel")->entries())
        if (entry.status != QStringLiteral("Completed")) {
            std::fprintf(stderr, "an image ended %s\n", qPrintable(entry.status));
            std::exit(1);
        }
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = argc > 1 ? std::atoi(argv[1]) : 500;
    QTemporaryDir work;
    KeepUserFoldersOut(work.path());
    QApplication app(argc, argv);

    const QString program = work.path() + QStringLiteral("/program/");
    QDir().mkpath(program + QStringLiteral("realesrgan/models"));
    QFile::link(QStringLiteral(GRANDORA_FAKE_UPSCALER),
                program + QStringLiteral("realesrgan/realesrgan-ncnn-vulkan"));
    for (const char* suffix : {".param", ".bin"}) {
        QFile model(program + QStringLiteral("realesrgan/models/realesrgan-x4plus") +
                    QLatin1String(suffix));
        if (!model.open(QIODevice::WriteOnly))
            return 1;
    }
    platform::SetExecutableFolderForTesting(program);
    platform::DialogScript dialogs;
    platform::EnableDialogScriptForTesting(&dialogs);

    const QString images = work.path() + QStringLiteral("/images");
    QDir().mkpath(images);
    QImage image(16, 16, QImage::Format_RGB32);
    for (int i = 0; i < count; ++i) {
        image.fill(QColor::fromHsv(i % 360, 200, 200));
        image.save(images + QStringLiteral("/img%1.png").arg(i, 4, 10, QLatin1Char('0')));
    }

    MainWindow window(QStringList{});
    // The update check would reach out to the network.
    child<QTimer>(window, "updateCheckTimer")->stop();
    pick(window, "imageTypeBox", static_cast<int>(TImageType::Photo));
    pick(window, "actionBox", static_cast<int>(TAction::CreateCopies));
    // The shell loop runs the fake upscaler; so must the window, whatever this computer offers.
    pick(window, "engineBox", static_cast<int>(TEngine::Upscaler));

    double bestShell = 1e9;
    double bestWindow = 1e9;
    for (int round = 0; round < Rounds; ++round) {
        const QString tag = QString::number(round);
        bestShell = std::min(bestShell, shellLoop(images, work.path(),
                                                  work.path() + QStringLiteral("/shell") + tag));
        bestWindow = std::min(
            bestWindow, windowBatch(window, images, work.path() + QStringLiteral("/window") + tag));
    }
    std::printf("pipeline_bench: %d images, Resize and Create Copies into a folder, best of %d\n",
                count, Rounds);
    std::printf("  window batch: %.2f s (%.1f ms per image)\n", bestWindow,
                bestWindow * 1000 / count);
    std::printf("  shell loop:   %.2f s (%.1f ms per image)\n", bestShell,
                bestShell * 1000 / count);
    std::printf("  ratio window/shell: %.3f (aim: 1.25 or less)\n", bestWindow / bestShell);
    SetResultDialogHookForTesting(nullptr);
    platform::EnableDialogScriptForTesting(nullptr);
    platform::SetExecutableFolderForTesting({});
    return 0;
}
