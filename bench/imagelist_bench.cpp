// How fast a folder scan fills the list against `find` over the same tree, how long the
// background check of every listed file takes against `head` reading each file's start, how long
// the window waits at most meanwhile, and what a list of a million entries costs in memory and in
// painting.
//
//   imagelist_bench [folder for the tree]     (the tree is made and removed again)
#include "app/batchcontroller.h"
#include "app/imageentry.h"
#include "app/imagelist.h"
#include "app/imagelistmodel.h"
#include "app/mainwindow.h"
#include "platform/dialogs.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr int FolderFanOut = 10; // 10 x 10 x 10 leaf folders
constexpr int FilesPerLeaf = 100;
constexpr int MillionEntries = 1000000;
constexpr int Rounds = 3;

long residentBytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

int makeTree(const QString& root)
{
    int files = 0;
    for (int a = 0; a < FolderFanOut; ++a)
        for (int b = 0; b < FolderFanOut; ++b)
            for (int c = 0; c < FolderFanOut; ++c) {
                const QString leaf =
                    root + QStringLiteral("/album%1/event%2/day%3").arg(a).arg(b).arg(c);
                QDir().mkpath(leaf);
                for (int f = 0; f < FilesPerLeaf; ++f) {
                    const QByteArray path = QFile::encodeName(
                        leaf + QStringLiteral("/IMG_%1.jpg").arg(files, 6, 10, QLatin1Char('0')));
                    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                    if (fd < 0)
                        return -1;
                    ::close(fd);
                    ++files;
                }
            }
    return files;
}

double bestOf(const std::function<void()>& run)
{
    double best = 1e300;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

double findMs(const QString& root)
{
    return bestOf([&] {
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f")});
        find.waitForFinished(-1);
    });
}

double paintMs(QTableView* view)
{
    return bestOf([&] { view->viewport()->repaint(); });
}

// What the check of a list costs: the time until every row has its verdict, and the longest the
// window spent in one turn of its event loop meanwhile.
struct CheckCost {
    double totalMs = 0;
    double longestTurnMs = 0;
};

CheckCost waitForCheck(ImageListModel* images, const QElapsedTimer& since)
{
    CheckCost cost;
    while (images->checking()) {
        QElapsedTimer turn;
        turn.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        cost.longestTurnMs = std::max(cost.longestTurnMs, turn.nsecsElapsed() / 1e6);
    }
    cost.totalMs = since.nsecsElapsed() / 1e6;
    return cost;
}

// Every file's first bytes read by `head`, fed by `find`: the least a check of each file costs.
double headMs(const QString& root)
{
    return bestOf([&] {
        QProcess shell;
        shell.setStandardOutputFile(QProcess::nullDevice());
        shell.start(QStringLiteral("sh"),
                    {QStringLiteral("-c"),
                     QStringLiteral("find \"$1\" -type f -exec head -q -c 64 {} +"),
                     QStringLiteral("sh"), root});
        shell.waitForFinished(-1);
    });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // An error box during start-up must not wait for a click.
    platform::DialogScript script;
    platform::EnableDialogScriptForTesting(&script);

    QTemporaryDir scratch(argc > 1
                              ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/tree-XXXXXX")
                              : QDir::tempPath() + QStringLiteral("/grandora-bench-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "cannot create the tree folder\n");
        return 1;
    }
    const QString root = scratch.path();
    const int files = makeTree(root);
    if (files < 0) {
        std::fprintf(stderr, "cannot create the tree\n");
        return 1;
    }

    MainWindow form;
    // The update check would reach out to the network.
    form.findChild<QTimer*>(QStringLiteral("updateCheckTimer"))->stop();
    form.findChild<QAction*>(QStringLiteral("includeSubfoldersAction"))->setChecked(true);
    form.show();
    QCoreApplication::processEvents();
    auto* view = form.findChild<QTableView*>(QStringLiteral("imageList"));
    auto* images = form.findChild<ImageListModel*>(QStringLiteral("imageListModel"));
    QAction* clear = form.findChild<QAction*>(QStringLiteral("fileClearAction"));

    findMs(root); // the first walk fills the kernel's caches for both contenders
    const double find = findMs(root);
    const double scan = bestOf([&] {
        clear->trigger();
        images->filler().AddFolder(root);
    });
    if (images->count() != files) {
        std::fprintf(stderr, "the scan found %d of %d files\n", images->count(), files);
        return 1;
    }
    std::printf("folder scan: %d files in %d folders\n", files,
                FolderFanOut * FolderFanOut * FolderFanOut);
    std::printf("  find -type f  %8.1f ms\n", find);
    std::printf("  AddFolder   %8.1f ms\n", scan);
    std::printf("  ratio         %8.2f (AddFolder / find)\n", scan / find);

    // The tree's files are empty: every one is found to be no image, the costliest verdict to show.
    const double head = headMs(root);
    clear->trigger();
    QElapsedTimer checking;
    checking.start();
    images->filler().AddFolder(root);
    const double listedMs = checking.nsecsElapsed() / 1e6;
    const CheckCost check = waitForCheck(images, checking);
    int refused = 0;
    for (const TImageEntry& entry : images->entries())
        refused += entry.check == TFileCheck::NotAnImage;
    if (refused != files) {
        std::fprintf(stderr, "the check refused %d of %d empty files\n", refused, files);
        return 1;
    }
    std::printf("check of every listed file (%d, none an image)\n", files);
    std::printf("  find | head   %8.1f ms\n", head);
    std::printf("  listed        %8.1f ms (the list shows; the check goes on)\n", listedMs);
    std::printf("  all checked   %8.1f ms\n", check.totalMs);
    std::printf("  ratio         %8.2f (all checked / find | head)\n", check.totalMs / head);
    std::printf("  longest wait  %8.2f ms of the window meanwhile\n", check.longestTurnMs);

    // Start passes every one of them over and counts it failed, trying none.
    {
        const QString upscaler = root + QStringLiteral("/upscaler/");
        QDir().mkpath(upscaler + QStringLiteral("models"));
        for (const char* model : {"realesrgan-x4plus", "realesrgan-x4plus-anime"})
            for (const char* suffix : {".param", ".bin"}) {
                QFile file(upscaler + QStringLiteral("models/") + QLatin1String(model) +
                           QLatin1String(suffix));
                file.open(QIODevice::WriteOnly);
            }
        BatchController batch(*images, root + QStringLiteral("/temp"), upscaler);
        int failed = -1;
        QObject::connect(&batch, &BatchController::finished,
                         [&](const TBatchSummary& summary) { failed = summary.failed; });
        TOptionChoices choices;
        choices.engine = TEngine::Upscaler;
        QElapsedTimer starting;
        starting.start();
        const TStartCheck started = batch.start(choices);
        const double startMs = starting.nsecsElapsed() / 1e6;
        while (started.refusal == TStartRefusal::None && failed < 0 && starting.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double endMs = starting.nsecsElapsed() / 1e6;
        if (failed != files) {
            std::fprintf(stderr, "Start counted %d of %d files failed\n", failed, files);
            return 1;
        }
        std::printf(
            "  Start         %8.1f ms, all passed over and counted failed; ended at %.1f ms\n",
            startMs, endMs);
    }

    clear->trigger();
    const long before = residentBytes();
    double addMs = 0;
    {
        QStringList paths;
        paths.reserve(MillionEntries);
        for (int i = 0; i < MillionEntries; ++i)
            paths << QStringLiteral("/home/user/Pictures/album%1/event%2/IMG_%3.jpg")
                         .arg(i / 100000)
                         .arg(i / 1000 % 100)
                         .arg(i, 7, 10, QLatin1Char('0'));
        QElapsedTimer adding;
        adding.start();
        images->appendFiles(paths);
        addMs = adding.nsecsElapsed() / 1e6;
        // None of these names exists; the check of a million costs what it costs, in the
        // background.
        const CheckCost missing = waitForCheck(images, adding);
        std::printf("list of %d names that do not exist\n", MillionEntries);
        std::printf("  all checked   %8.1f ms, longest wait of the window %.2f ms\n",
                    missing.totalMs, missing.longestTurnMs);
    }
    const long listed = residentBytes();
    view->scrollToBottom();
    const double paintBottom = paintMs(view);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    const double paintMiddle = paintMs(view);
    std::printf("list of %d entries\n", MillionEntries);
    std::printf("  listed        %8.1f MB (%ld bytes each, with the view's rows)\n",
                (listed - before) / 1048576.0, (listed - before) / MillionEntries);
    std::printf("  added, shown  %8.2f ms\n", addMs);
    std::printf("  paint at end  %8.2f ms, in the middle %.2f ms\n", paintBottom, paintMiddle);
    return 0;
}
