// Kills "Resize Original" batches with SIGKILL at random moments and counts what a user would
// find afterwards, once the next start has settled what the kill cut off:
//   originals lost     an image whose name holds the enlarged image with no original in the trash
//                      (with "Send to Recycle Bin"), or whose name holds neither
//   empty names        an image whose name holds nothing at all right after the kill
//   leftovers          hidden part files beside the images, trash records without their file,
//                      journal entries, after the settling
//   upscalers running  upscalers still alive a second after their program was killed
//
//   crash_soak [kills] [images per batch]     (default 200 and 6; all in a temporary folder)
//
// Each round runs the batch engine in a child process of this program (the same binary, started
// with --batch), as the program runs it, and kills that child.
#include "batch/batchengine.h"
#include "batch/placementjournal.h"
#include "platform/instancefolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace
{

int runBatch(const QString& upscalerFolder, const QStringList& images)
{
    platform::TInstanceFolder folder;
    TBatchEngine engine(folder.Path());
    TBatchOptions options;
    options.imageType = TImageType::Photo;
    options.action = TAction::ResizeOriginal;
    options.disposal = qEnvironmentVariableIsSet("SOAK_DELETE") ? TDisposal::DeletePermanently
                                                                : TDisposal::RecycleBin;
    options.upscalerFolder = upscalerFolder;
    QObject::connect(&engine, &TBatchEngine::Finished, [] { QCoreApplication::quit(); });
    engine.Start(options, [&](int fromRow) -> std::optional<TBatchEngine::TQueuedImage> {
        if (fromRow >= images.size())
            return std::nullopt;
        return TBatchEngine::TQueuedImage{fromRow, images[fromRow]};
    });
    return QCoreApplication::exec();
}

bool upscalerAlive(const QString& marker)
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile commandLine(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        QFile status(QStringLiteral("/proc/") + pid + QStringLiteral("/status"));
        if (commandLine.open(QIODevice::ReadOnly) &&
            commandLine.readAll().contains(marker.toUtf8()) && status.open(QIODevice::ReadOnly) &&
            !status.readAll().contains("State:\tZ"))
            return true;
    }
    return false;
}

struct Counts {
    int kills = 0, lost = 0, emptyNames = 0, leftovers = 0, upscalers = 0, enlarged = 0;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2 && args[1] == QLatin1String("--batch"))
        return runBatch(args[2], args.mid(3));

    const int kills = args.size() > 1 ? args[1].toInt() : 200;
    const int count = args.size() > 2 ? args[2].toInt() : 6;
    QTemporaryDir work;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        qputenv(variable,
                QFile::encodeName(work.path() + QLatin1Char('/') + QLatin1String(variable)));
    const QString upscalerFolder = work.path() + QStringLiteral("/realesrgan/");
    QDir().mkpath(upscalerFolder + QStringLiteral("models"));
    QFile::link(QStringLiteral(GRANDORA_FAKE_UPSCALER),
                upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan"));
    for (const char* suffix : {".param", ".bin"}) {
        QFile model(upscalerFolder + QStringLiteral("models/realesrgan-x4plus") +
                    QLatin1String(suffix));
        if (!model.open(QIODevice::WriteOnly))
            return 1;
    }
    // Slow enough that kills land inside the upscaler's run as well as inside placements.
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "3");
    const QString trash = work.path() + QStringLiteral("/XDG_DATA_HOME/Trash");

    Counts counts;
    for (int round = 0; round < kills; ++round) {
        const QString folder = work.path() + QStringLiteral("/photos%1/").arg(round);
        QDir().mkpath(folder);
        QDir(trash).removeRecursively();
        QStringList images;
        QList<QByteArray> originals;
        for (int i = 0; i < count; ++i) {
            QImage image(8 + i, 8, QImage::Format_RGB32);
            image.fill(QColor::fromHsv((round * 7 + i * 40) % 360, 200, 200));
            images << folder + QStringLiteral("img%1.png").arg(i);
            image.save(images.back(), "png");
            QFile file(images.back());
            file.open(QIODevice::ReadOnly);
            originals << file.readAll();
        }

        QProcess batch;
        batch.start(QCoreApplication::applicationFilePath(),
                    QStringList{QStringLiteral("--batch"), upscalerFolder} + images);
        batch.waitForStarted();
        QThread::msleep(QRandomGenerator::global()->bounded(10, 400));
        ::kill(static_cast<pid_t>(batch.processId()), SIGKILL);
        batch.waitForFinished();
        ++counts.kills;

        for (const QString& image : images)
            counts.emptyNames += QFileInfo::exists(image) ? 0 : 1;
        QThread::msleep(1000);
        counts.upscalers += upscalerAlive(folder) ? 1 : 0;

        // The next start.
        TPlacementJournal::Recover(TPlacementJournal::Folder());
        platform::TInstanceFolder::RemoveAbandoned();

        QList<QByteArray> trashed;
        for (const QString& name :
             QDir(trash + QStringLiteral("/files"))
                 .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
            QFile file(trash + QStringLiteral("/files/") + name);
            file.open(QIODevice::ReadOnly);
            trashed << file.readAll();
            counts.leftovers += QFileInfo::exists(trash + QStringLiteral("/info/") + name +
                                                  QStringLiteral(".trashinfo"))
                                    ? 0
                                    : 1;
        }
        for (const QString& info : QDir(trash + QStringLiteral("/info")).entryList(QDir::Files)) {
            const QString name = info.chopped(QStringLiteral(".trashinfo").size());
            counts.leftovers += QFileInfo::exists(trash + QStringLiteral("/files/") + name) ? 0 : 1;
        }
        for (int i = 0; i < count; ++i) {
            QFile file(images[i]);
            const QByteArray now = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            if (now == originals[i])
                continue;
            const QSize size = QImageReader(images[i]).size();
            const bool enlarged = size == QSize((8 + i) * 4, 32);
            counts.enlarged += enlarged ? 1 : 0;
            const bool keptSomewhere =
                qEnvironmentVariableIsSet("SOAK_DELETE") || trashed.contains(originals[i]);
            counts.lost += enlarged && keptSomewhere ? 0 : 1;
        }
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            if (!name.startsWith(QStringLiteral("img")))
                ++counts.leftovers;
        }
        counts.leftovers +=
            static_cast<int>(QDir(TPlacementJournal::Folder()).entryList(QDir::Files).size());
    }
    std::printf("crash_soak: %d kills of \"Resize Original\" batches of %d images (%s)\n",
                counts.kills, count,
                qEnvironmentVariableIsSet("SOAK_DELETE") ? "Delete permanently"
                                                         : "Send to Recycle Bin");
    std::printf("  images enlarged before their kill: %d\n", counts.enlarged);
    std::printf("  originals lost:    %d\n", counts.lost);
    std::printf("  empty names:       %d\n", counts.emptyNames);
    std::printf("  leftovers:         %d\n", counts.leftovers);
    std::printf("  upscalers running: %d\n", counts.upscalers);
    return counts.lost + counts.emptyNames + counts.leftovers + counts.upscalers == 0 ? 0 : 1;
}
