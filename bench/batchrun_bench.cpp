// What one upscaler run for many images saves against one run per image. The fake upscaler costs
// a fixed start-up L per run and C per image; the batch engine is timed with one run per image
// and with its own runs, beside the ideal L + N x C. When the real upscaler is provisioned with
// realesrgan-x4fast, eight 32 x 32 images are also enlarged both ways with it.
// The check that each result shows its input (decoding both and comparing them) is timed alone
// over the upscaler's own results, as a share of the engine's batch.
//
//   batchrun_bench [images] [L ms] [C ms]     (default 200, 300, 30)
//   batchrun_bench --real FOLDER              (FOLDER holds realesrgan-ncnn-vulkan and models/)
#include "batch/batchengine.h"
#include "batch/outputcheck.h"
#include "platform/instancefolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace
{

struct Timing {
    double seconds = 0;
    int completed = 0;
};

Timing runBatch(const QString& upscalerFolder, const QStringList& images, int perRun)
{
    platform::TInstanceFolder folder;
    TBatchEngine engine(folder.Path());
    engine.SetImagesPerRun(perRun);
    TBatchOptions options;
    options.imageType = TImageType::Photo;
    options.action = TAction::CreateCopies;
    options.upscalerFolder = upscalerFolder;
    QEventLoop loop;
    Timing timing;
    QObject::connect(&engine, &TBatchEngine::Finished, [&](const TBatchSummary& summary) {
        timing.completed = summary.completed;
        loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    engine.Start(options, [&](int fromRow) -> std::optional<TBatchEngine::TQueuedImage> {
        if (fromRow >= images.size())
            return std::nullopt;
        return TBatchEngine::TQueuedImage{fromRow, images[fromRow]};
    });
    if (engine.IsRunning())
        loop.exec();
    timing.seconds = timer.elapsed() / 1000.0;
    return timing;
}

QStringList makeImages(const QString& folder, int count, int size)
{
    QDir().mkpath(folder);
    QStringList images;
    QImage image(size, size, QImage::Format_RGB32);
    for (int i = 0; i < count; ++i) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                image.setPixel(x, y, qRgb((x * 8 + i * 5) % 256, (y * 8) % 256, (i * 40) % 256));
        images << folder + QStringLiteral("/img%1.png").arg(i, 4, 10, QLatin1Char('0'));
        image.save(images.back(), "png");
    }
    return images;
}

// The upscaler alone over the same images in one run, judging and placing nothing: what the
// engine cannot do better than on this machine at this moment.
double upscalerAlone(const QString& upscalerFolder, const QStringList& images, const QString& work)
{
    QDir().mkpath(work + QStringLiteral("/alone/in"));
    QDir().mkpath(work + QStringLiteral("/alone/out"));
    // Hard links: the upscaler passes over symbolic ones.
    for (const QString& image : images)
        ::link(QFile::encodeName(image).constData(),
               QFile::encodeName(work + QStringLiteral("/alone/in/") + QFileInfo(image).fileName())
                   .constData());
    QElapsedTimer timer;
    timer.start();
    QProcess upscaler;
    upscaler.setStandardOutputFile(QProcess::nullDevice());
    upscaler.start(upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan"),
                   {QStringLiteral("-i"), work + QStringLiteral("/alone/in"), QStringLiteral("-o"),
                    work + QStringLiteral("/alone/out"), QStringLiteral("-n"),
                    QStringLiteral("realesrgan-x4plus"), QStringLiteral("-v")});
    upscaler.waitForFinished(-1);
    return timer.elapsed() / 1000.0;
}

// The result check alone over every image and the upscaler's result for it, in `results`.
double resultCheck(const QStringList& images, const QString& results)
{
    QElapsedTimer timer;
    timer.start();
    int alike = 0;
    for (const QString& image : images) {
        const QString result = results + QLatin1Char('/') + QFileInfo(image).fileName();
        alike += CompareWithInput(StoredPixels(image), StoredPixels(result)) == TLikeness::Alike;
    }
    const double seconds = timer.elapsed() / 1000.0;
    if (alike != images.size())
        std::printf("  the result check found %d of %d alike\n", alike,
                    static_cast<int>(images.size()));
    return seconds;
}

void report(const char* what, const Timing& timing, int count)
{
    std::printf("  %-26s %8.2f s  (%d of %d enlarged)\n", what, timing.seconds, timing.completed,
                count);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir work;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        qputenv(variable,
                QFile::encodeName(work.path() + QLatin1Char('/') + QLatin1String(variable)));

    if (args.size() > 2 && args[1] == QLatin1String("--real")) {
        // The Photo type's model file names, pointing at the fast model.
        const QString& real = args[2];
        const QString upscaler = work.path() + QStringLiteral("/realesrgan/");
        QDir().mkpath(upscaler + QStringLiteral("models"));
        QFile::link(real + QStringLiteral("/realesrgan-ncnn-vulkan"),
                    upscaler + QStringLiteral("realesrgan-ncnn-vulkan"));
        for (const char* suffix : {".param", ".bin"})
            QFile::link(real + QStringLiteral("/models/realesrgan-x4fast") + QLatin1String(suffix),
                        upscaler + QStringLiteral("models/realesrgan-x4plus") +
                            QLatin1String(suffix));
        const QStringList images = makeImages(work.path() + QStringLiteral("/real"), 8, 32);
        const Timing one = runBatch(upscaler, images, 1);
        const Timing many = runBatch(upscaler, images, 1000);
        std::printf("batchrun_bench: real upscaler, realesrgan-x4fast, 8 images of 32 x 32\n");
        report("one run per image:", one, 8);
        report("one run for all:", many, 8);
        std::printf("  ratio one-per-image / one-run: %.2f\n", one.seconds / many.seconds);
        return 0;
    }

    const int count = args.size() > 1 ? args[1].toInt() : 200;
    const int startupMs = args.size() > 2 ? args[2].toInt() : 300;
    const int imageMs = args.size() > 3 ? args[3].toInt() : 30;
    qputenv("GRANDORA_FAKE_UPSCALER_STARTUP_MS", QByteArray::number(startupMs));
    qputenv("GRANDORA_FAKE_UPSCALER_IMAGE_MS", QByteArray::number(imageMs));
    const QString upscaler = work.path() + QStringLiteral("/realesrgan/");
    QDir().mkpath(upscaler + QStringLiteral("models"));
    QFile::link(QStringLiteral(GRANDORA_FAKE_UPSCALER),
                upscaler + QStringLiteral("realesrgan-ncnn-vulkan"));
    for (const char* suffix : {".param", ".bin"}) {
        QFile model(upscaler + QStringLiteral("models/realesrgan-x4plus") + QLatin1String(suffix));
        if (!model.open(QIODevice::WriteOnly))
            return 1;
    }
    const QStringList images = makeImages(work.path() + QStringLiteral("/images"), count, 8);
    const Timing one = runBatch(upscaler, images, 1);
    const Timing engine = runBatch(upscaler, images, 1000);
    const double alone = upscalerAlone(upscaler, images, work.path());
    const double check = resultCheck(images, work.path() + QStringLiteral("/alone/out"));
    const double ideal = (startupMs + count * imageMs) / 1000.0;
    std::printf("batchrun_bench: %d images, start-up L = %d ms, per image C = %d ms\n", count,
                startupMs, imageMs);
    report("one run per image:", one, count);
    report("batch engine:", engine, count);
    std::printf("  %-26s %8.2f s\n", "the upscaler alone:", alone);
    std::printf("  %-26s %8.2f s\n", "ideal L + N x C:", ideal);
    std::printf("  %-26s %8.3f s\n", "the result check alone:", check);
    std::printf("  engine / upscaler alone:   %8.3f\n", engine.seconds / alone);
    std::printf("  engine / ideal:            %8.3f  (aim: 1.1 or less)\n", engine.seconds / ideal);
    std::printf("  one-per-image / engine:    %8.2f  (aim: 5 or more)\n",
                one.seconds / engine.seconds);
    std::printf("  result check / engine:     %8.3f  (aim: 0.05 or less)\n",
                check / engine.seconds);
    return 0;
}
