// How fast a folder scan fills the list against `find` over the same tree, and what a list of a
// million entries costs in memory and in painting.
//
//   imagelist_bench [folder for the tree]     (the tree is made and removed again)
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
