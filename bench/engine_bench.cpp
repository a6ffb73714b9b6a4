// The built-in engine against the outside upscaler on the same photos and models (run by hand:
// engine_bench [--full] [upscaler folder]). Per model (Photo's, and Artwork's where provisioned,
// the fast one at 2x, 3x and 4x): ms per input pixel of grandora-enlarge and
// of realesrgan-ncnn-vulkan, each in one folder run as the batch engine starts them, and the
// ratio; the convolution GFLOP/s the engine achieves against what oneDNN gives on the same
// convolution shapes alone, measured here; and the peak memory of a 2000 x 1500 photo with
// realesrgan-x4fast. Without --full, realesrgan-x4plus and realesrgan-x4plus-anime take one
// 96 x 96 photo (about half a minute in the upscaler on a software Vulkan driver) and the fast
// models the four 96 x 96 ones; --full gives every model the four 96 x 96 photos and one of
// 256 x 256.
#include "benchtiming.h"
#include "engine/ncnnmodel.h"
#include "engine/network.h"
#include "engine/tiledenlarge.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <dnnl.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace
{

// A photo-like picture: smooth shading, fine texture and hard edges, away from black.
QImage photo(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const double shade = 60 + 80.0 * (x + y) / (width + height);
            const double texture = 25 * std::sin(0.07 * x * (seed + 1)) * std::cos(0.05 * y - seed);
            const bool patch = ((x / 23) + (y / 17) + seed) % 3 == 0;
            line[3 * x] = uchar(std::clamp(int(shade + texture + (patch ? 60 : 0)), 0, 255));
            line[3 * x + 1] = uchar(std::clamp(int(shade * 0.9 + 40 - texture), 0, 255));
            line[3 * x + 2] =
                uchar(std::clamp(int(170 - shade * 0.5 + (patch ? -30 : 20)), 0, 255));
        }
    }
    return image;
}

struct TChildRun {
    double seconds = -1; // negative: it failed
    double peakMb = 0;
};

// Runs a program to its end with its output discarded: its time and its own peak memory.
TChildRun run(const QString& program, const QStringList& arguments)
{
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        words.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    QElapsedTimer clock;
    clock.start();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    TChildRun result;
    int status = 0;
    rusage usage{};
    if (spawned != 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
        return result;
    result.seconds = Seconds(clock);
    result.peakMb = double(usage.ru_maxrss) / 1024.0;
    return result;
}

// What oneDNN gives on one convolution shape alone: seconds per run, best of several.
double convolutionSeconds(const engine::TNetwork::TConvolutionShape& shape,
                          engine::TPrecision precision)
{
    using dnnl::memory;
    const dnnl::engine cpu(dnnl::engine::kind::cpu, 0);
    dnnl::stream stream(cpu);
    const memory::dims src{1, shape.inputs, shape.height, shape.width};
    const memory::dims weights{shape.outputs, shape.inputs, shape.kernel, shape.kernel};
    const memory::dims dst{1, shape.outputs, shape.height, shape.width};
    const int pad = shape.kernel / 2;
    const auto any = [precision](const memory::dims& dims) {
        return memory::desc(dims,
                            precision == engine::TPrecision::Bfloat16 ? memory::data_type::bf16
                                                                      : memory::data_type::f32,
                            memory::format_tag::any);
    };
    const dnnl::convolution_forward::primitive_desc described(
        dnnl::convolution_forward::desc(
            dnnl::prop_kind::forward_inference, dnnl::algorithm::convolution_direct, any(src),
            any(weights),
            memory::desc({shape.outputs}, memory::data_type::f32, memory::format_tag::a), any(dst),
            {1, 1}, {pad, pad}, {pad, pad}),
        cpu);
    memory source(described.src_desc(), cpu);
    memory kernel(described.weights_desc(), cpu);
    memory bias(described.bias_desc(), cpu);
    memory result(described.dst_desc(), cpu);
    // 0x3c00 read as bf16, and 0x3c003c00 read as fp32, are both about 0.008: ordinary
    // numbers for either type, never a denormal that could slow the arithmetic.
    for (memory* filled : {&source, &kernel, &bias}) {
        auto* words = static_cast<std::uint32_t*>(filled->get_data_handle());
        std::fill_n(words, filled->get_desc().get_size() / sizeof(std::uint32_t), 0x3c003c00u);
    }
    dnnl::convolution_forward convolution(described);
    const std::unordered_map<int, memory> args{{DNNL_ARG_SRC, source},
                                               {DNNL_ARG_WEIGHTS, kernel},
                                               {DNNL_ARG_BIAS, bias},
                                               {DNNL_ARG_DST, result}};
    convolution.execute(stream, args);
    stream.wait();
    return BestOf(5, [&] {
        QElapsedTimer clock;
        clock.start();
        convolution.execute(stream, args);
        stream.wait();
        return Seconds(clock);
    });
}

struct TModelFigures {
    double oursMsPerPixel = 0;
    double theirsMsPerPixel = 0;
    double achievedGflops = 0;
    double onednnGflops = 0;
    double borderShare = 0; // the image's own FLOPs among those computed
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool full = arguments.removeAll(QStringLiteral("--full")) > 0;
    const QString upscalerFolder =
        arguments.isEmpty() ? QStringLiteral(GRANDORA_BIN_DIR "/realesrgan") : arguments.first();
    const QString upscaler = upscalerFolder + QStringLiteral("/realesrgan-ncnn-vulkan");
    const QString models = upscalerFolder + QStringLiteral("/models");
    const QString enlarge = QStringLiteral(GRANDORA_ENLARGE);
    if (!QFileInfo(upscaler).isExecutable()) {
        std::fprintf(stderr, "The upscaler is not provisioned in %s (scripts/get-upscaler)\n",
                     qPrintable(upscalerFolder));
        return 1;
    }
    QTemporaryDir work;

    const QString large = work.path() + QStringLiteral("/large.png");
    photo(2000, 1500, 5).save(large);
    const TChildRun largeRun =
        run(enlarge, {QStringLiteral("-i"), large, QStringLiteral("-o"),
                      work.path() + QStringLiteral("/large-out.png"), QStringLiteral("-n"),
                      QStringLiteral("realesrgan-x4fast"), QStringLiteral("-m"), models});
    if (largeRun.seconds < 0 ||
        !QFileInfo::exists(work.path() + QStringLiteral("/large-out.png"))) {
        std::fprintf(stderr, "%s did not enlarge the large photo\n", qPrintable(enlarge));
        return 1;
    }
    // The floor: the decoded photo and its 8-bit result, which any engine holds.
    const double imagesMb = (2000.0 * 1500 * 4 + 8000.0 * 6000 * 3) / (1024.0 * 1024.0);

    // Each model as the batch engine runs it: its name after -n and its scale. The fast anime
    // model comes in one file pair per scale.
    struct TBenchModel {
        QString name;
        int scale;
        bool light; // fast enough for four photos in the upscaler without --full
        QString file() const
        {
            return name == QLatin1String("realesr-animevideov3")
                       ? name + QStringLiteral("-x%1").arg(scale)
                       : name;
        }
    };
    std::vector<TBenchModel> benchModels{{QStringLiteral("realesrgan-x4fast"), 4, true},
                                         {QStringLiteral("realesrgan-x4plus"), 4, false}};
    const bool artwork =
        QFileInfo::exists(models + QStringLiteral("/realesrgan-x4plus-anime.bin")) &&
        QFileInfo::exists(models + QStringLiteral("/realesr-animevideov3-x2.bin"));
    if (artwork) {
        benchModels.push_back({QStringLiteral("realesrgan-x4plus-anime"), 4, false});
        for (const int scale : {2, 3, 4})
            benchModels.push_back({QStringLiteral("realesr-animevideov3"), scale, true});
    } else {
        std::fprintf(stderr, "The Artwork models are not provisioned in %s: only Photo's run\n",
                     qPrintable(models));
    }
    std::map<QString, TModelFigures> figures;
    for (const TBenchModel& benchModel : benchModels) {
        const QString model = benchModel.file();
        const QString in = work.path() + QLatin1Char('/') + model + QStringLiteral("-in");
        QDir().mkpath(in);
        std::vector<QImage> images;
        const int small = full || benchModel.light ? 4 : 1;
        for (int i = 0; i < small; ++i)
            images.push_back(photo(96, 96, i));
        if (full)
            images.push_back(photo(256, 256, 4));
        double pixels = 0;
        for (std::size_t i = 0; i < images.size(); ++i) {
            images[i].save(in + QStringLiteral("/photo%1.png").arg(i));
            pixels += double(images[i].width()) * images[i].height();
        }
        TModelFigures& figure = figures[model];
        for (const bool ours : {true, false}) {
            // The upscaler wants its output folder to exist.
            const QString out = in + (ours ? QStringLiteral("-ours") : QStringLiteral("-theirs"));
            QDir().mkpath(out);
            QStringList runArguments{QStringLiteral("-i"), in,
                                     QStringLiteral("-o"), out,
                                     QStringLiteral("-n"), benchModel.name,
                                     QStringLiteral("-m"), models,
                                     QStringLiteral("-f"), QStringLiteral("png")};
            // The provisioned upscaler takes a model's own scale as -z; with -s alone it would
            // run the 4x model and scale its result.
            if (benchModel.scale != 4) {
                runArguments << QStringLiteral("-s") << QString::number(benchModel.scale);
                if (!ours)
                    runArguments << QStringLiteral("-z") << QString::number(benchModel.scale);
            }
            const double seconds = run(ours ? enlarge : upscaler, runArguments).seconds;
            if (seconds < 0 ||
                QDir(out).entryList(QDir::Files).size() != qsizetype(images.size())) {
                std::fprintf(stderr, "%s did not enlarge every photo with %s\n",
                             qPrintable(ours ? enlarge : upscaler), qPrintable(model));
                return 1;
            }
            (ours ? figure.oursMsPerPixel : figure.theirsMsPerPixel) = seconds * 1000.0 / pixels;
        }

        // In this process: the engine's own time on the photos against oneDNN's on the
        // convolutions the photos need, counted without the tiles' overlap.
        const QString stem = models + QLatin1Char('/') + model;
        engine::TNetwork network(
            engine::LoadNcnnModel(stem + QStringLiteral(".param"), stem + QStringLiteral(".bin")));
        double usefulFlops = 0;
        double computedFlops = 0; // with the part of the mirrored border that is computed
        double onednnSeconds = 0;
        const auto flopsOf = [](const engine::TNetwork::TConvolutionShape& shape) {
            return 2.0 * shape.inputs * shape.outputs * shape.kernel * shape.kernel * shape.height *
                   shape.width;
        };
        std::map<std::tuple<int, int, int, int, int>, double> measured;
        for (const QImage& image : images) {
            const std::vector<engine::TNetwork::TConvolutionShape> shapes =
                network.ConvolutionShapes(image.height(), image.width());
            // These photos fit in one tile, which reads the border on every side.
            if (std::max(image.width(), image.height()) > engine::AutomaticTileSize(network)) {
                std::fprintf(stderr, "a photo does not fit in one tile of %s\n", qPrintable(model));
                return 1;
            }
            for (const auto& shape : network.ConvolutionShapes(
                     image.height() + 2 * engine::TileOverlap,
                     image.width() + 2 * engine::TileOverlap, engine::TileOverlap))
                computedFlops += flopsOf(shape);
            for (const auto& shape : shapes) {
                usefulFlops += flopsOf(shape);
                const auto key = std::make_tuple(shape.inputs, shape.outputs, shape.kernel,
                                                 shape.height, shape.width);
                if (!measured.count(key))
                    measured[key] = convolutionSeconds(shape, network.Precision());
                onednnSeconds += measured[key];
            }
        }
        // Best of two passes: the second finds the plans of primitives built, as every image
        // after the first of its size does in a folder run (the ms/px above pays for them).
        const double engineSeconds = BestOf(2, [&] {
            QElapsedTimer clock;
            clock.start();
            for (const QImage& image : images)
                engine::EnlargeImage(network, image, 0);
            return Seconds(clock);
        });
        figure.achievedGflops = usefulFlops / engineSeconds / 1e9;
        figure.onednnGflops = usefulFlops / onednnSeconds / 1e9;
        figure.borderShare = usefulFlops / computedFlops;
    }

    std::printf("Convolutions in %s; this machine's load makes single runs vary, the ratios "
                "are measured side by side.\n",
                engine::NativePrecision() == engine::TPrecision::Bfloat16 ? "bf16" : "fp32");
    std::printf("%-24s %14s %14s %8s %12s %12s %9s %12s\n", "model", "ours ms/px", "upscaler ms/px",
                "speed-up", "our GFLOP/s", "oneDNN GFLOP/s", "fraction", "border cap");
    for (const TBenchModel& benchModel : benchModels) {
        const QString model = benchModel.file();
        const TModelFigures& f = figures[model];
        std::printf("%-24s %14.4f %14.4f %7.1fx %12.1f %12.1f %8.0f%% %11.0f%%\n",
                    qPrintable(model), f.oursMsPerPixel, f.theirsMsPerPixel,
                    f.theirsMsPerPixel / f.oursMsPerPixel, f.achievedGflops, f.onednnGflops,
                    100.0 * f.achievedGflops / f.onednnGflops, 100.0 * f.borderShare);
    }
    std::printf("border cap: the image's own convolution FLOPs among those computed with as much "
                "of the %d mirrored pixels on every side, which agreement with the upscaler "
                "needs, as each layer's output still depends on\n",
                engine::TileOverlap);
    std::printf("2000x1500 photo, realesrgan-x4fast: %.1f s, peak RSS %.0f MB (%.0f%% of 2048 MB); "
                "its decoded image and result alone take %.0f MB\n",
                largeRun.seconds, largeRun.peakMb, 100.0 * largeRun.peakMb / 2048.0, imagesMb);
    return 0;
}
