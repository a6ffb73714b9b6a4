// Whole images through the engine: depths and colour types kept, values clamped, tiles that
// agree with a whole-image pass, the program's command line, and agreement with the outside
// upscaler on the same models.
#include "engine/enlargecommand.h"
#include "engine/network.h"
#include "engine/tiledenlarge.h"
#include "handmademodel.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>

using engine::EnlargeImage;
using engine::ParseNcnnModel;
using engine::TNetwork;

namespace
{

const QString ProvisionedUpscaler = QStringLiteral(GRANDORA_BIN_DIR "/realesrgan");

TNetwork handMade(const THandMadeModel& model, int blobs = 2)
{
    return TNetwork(ParseNcnnModel(model.Param(blobs), model.Bin()));
}

// A photo-like picture: smooth shading, fine texture and a few hard edges, kept away from black.
QImage photo(int width, int height, int seed = 0)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double shade = 60 + 80.0 * (x + y) / (width + height);
            const double texture = 25 * std::sin(0.7 * x + seed) * std::cos(0.45 * y - seed);
            const bool patch = ((x / 11) + (y / 9) + seed) % 3 == 0;
            const int r = int(shade + texture + (patch ? 60 : 0));
            const int g = int(shade * 0.9 + 40 - texture);
            const int b = int(170 - shade * 0.5 + (patch ? -30 : 20));
            image.setPixel(
                x, y, qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255)));
        }
    }
    return image;
}

double psnr(const QImage& first, const QImage& second)
{
    const QImage a = first.convertToFormat(QImage::Format_RGB888);
    const QImage b = second.convertToFormat(QImage::Format_RGB888);
    if (a.size() != b.size())
        return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* la = a.constScanLine(y);
        const uchar* lb = b.constScanLine(y);
        for (int i = 0; i < 3 * a.width(); ++i)
            squares += double(la[i] - lb[i]) * double(la[i] - lb[i]);
    }
    const double mean = squares / (3.0 * a.width() * a.height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

bool modelsProvisioned()
{
    return QFileInfo::exists(ProvisionedUpscaler +
                             QStringLiteral("/models/realesrgan-x4plus.bin")) &&
           QFileInfo::exists(ProvisionedUpscaler + QStringLiteral("/models/realesrgan-x4fast.bin"));
}

TNetwork provisionedModel(const QString& name,
                          engine::TPrecision precision = engine::NativePrecision())
{
    const QString stem = ProvisionedUpscaler + QStringLiteral("/models/") + name;
    return TNetwork(
        engine::LoadNcnnModel(stem + QStringLiteral(".param"), stem + QStringLiteral(".bin")),
        precision);
}

#define SKIP_WITHOUT_MODELS()                                                                      \
    if (!modelsProvisioned())                                                                      \
    GTEST_SKIP() << "the upscaler's models are not provisioned in "                                \
                 << ProvisionedUpscaler.toStdString() << " (scripts/get-upscaler provisions them)"

// A bright drawing: flat areas, soft shading inside a shape, and thin outlines. Its colours stay
// light, since the software Vulkan driver's results go wrong where a model's output comes near
// black, and the anime models darken outlines.
QImage drawing(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    const double cx = width * 0.45, cy = height * 0.5, radius = std::min(width, height) * 0.33;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double distance = std::hypot(x - cx, y - cy);
            QRgb colour = qRgb(248, 244, 232);
            if (x > width * 0.6 && y > height * 0.15 && y < height * 0.45)
                colour = qRgb(120, 180, 230);
            if (distance < radius)
                colour = qRgb(240, 150 + int(60 * (y - cy) / radius), 90);
            if (std::abs(distance - radius) < 1.0 ||
                (x > width * 0.6 && std::abs(y - height * 0.15) < 1.0))
                colour = qRgb(170, 150, 200);
            image.setPixel(x, y, colour);
        }
    }
    return image;
}

// Each provisioned model, as the batch engine names it, with the scale it runs at.
struct TProvisionedModel {
    const char* name; // as given after -n
    int scale;
    bool artwork;
    QString file() const
    {
        const QString stem = QString::fromLatin1(name);
        return stem == QLatin1String("realesr-animevideov3")
                   ? stem + QStringLiteral("-x%1").arg(scale)
                   : stem;
    }
};

const TProvisionedModel provisionedModels[] = {
    {"realesrgan-x4fast", 4, false},      {"realesrgan-x4plus", 4, false},
    {"realesrgan-x4plus-anime", 4, true}, {"realesr-animevideov3", 2, true},
    {"realesr-animevideov3", 3, true},    {"realesr-animevideov3", 4, true},
};

bool artworkProvisioned()
{
    for (const TProvisionedModel& model : provisionedModels)
        if (model.artwork && !QFileInfo::exists(ProvisionedUpscaler + QStringLiteral("/models/") +
                                                model.file() + QStringLiteral(".bin")))
            return false;
    return true;
}

TEST(EnlargeImage, SixteenBitsAndGreyAreKeptValueForValueAtEveryScale)
{
    struct TCase {
        QImage::Format format;
        QImage::Format expected;
    };
    for (const int scale : {2, 3, 4}) {
        TNetwork network = handMade(NearestTimes(scale));
        for (const TCase& test : {TCase{QImage::Format_RGBX64, QImage::Format_RGBX64},
                                  TCase{QImage::Format_Grayscale16, QImage::Format_Grayscale16},
                                  TCase{QImage::Format_Grayscale8, QImage::Format_Grayscale8},
                                  TCase{QImage::Format_RGB32, QImage::Format_RGB888}}) {
            QImage image(7, 5, QImage::Format_RGBX64);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 7; ++x)
                    image.setPixelColor(x, y,
                                        QColor::fromRgba64(quint16(x * 9001 + y * 17 + 1),
                                                           quint16(65535 - x * 3000 - y),
                                                           quint16(y * 12000 + x * 3), 65535));
            image = image.convertToFormat(test.format);
            const QImage enlarged = EnlargeImage(network, image, 0);
            ASSERT_EQ(enlarged.format(), test.expected) << int(test.format);
            ASSERT_EQ(enlarged.size(), QSize(7, 5) * scale);
            for (int y = 0; y < 5 * scale; ++y)
                for (int x = 0; x < 7 * scale; ++x)
                    ASSERT_EQ(enlarged.pixelColor(x, y).rgba64(),
                              image.pixelColor(x / scale, y / scale).rgba64())
                        << int(test.format) << " at " << x << "," << y << ", " << scale << "x";
        }
    }
}

TEST(EnlargeImage, AlphaIsEnlargedBicubicallyBesideTheColours)
{
    for (const int scale : {2, 3, 4}) {
        SCOPED_TRACE(testing::Message() << scale << "x");
        TNetwork network = handMade(NearestTimes(scale));
        QImage image(12, 6, QImage::Format_ARGB32);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x)
                image.setPixel(x, y, qRgba(200, 100, 50, x < 6 ? 0 : 255));
        const QImage enlarged = EnlargeImage(network, image, 0);
        ASSERT_TRUE(enlarged.hasAlphaChannel());
        ASSERT_EQ(enlarged.size(), image.size() * scale);
        const int edge = 6 * scale;
        for (int y = 0; y < 6 * scale; ++y) {
            EXPECT_EQ(qAlpha(enlarged.pixel(1, y)), 0);
            EXPECT_EQ(qAlpha(enlarged.pixel(12 * scale - 2, y)), 255);
            // Across the edge alpha rises smoothly, not in the model's blocks.
            for (int x = edge - scale; x < edge + scale; ++x)
                EXPECT_LE(qAlpha(enlarged.pixel(x, y)), qAlpha(enlarged.pixel(x + 1, y)));
            EXPECT_GT(qAlpha(enlarged.pixel(edge, y)), 0);
            EXPECT_LT(qAlpha(enlarged.pixel(edge - 1, y)), 255);
            EXPECT_EQ(enlarged.pixelColor(edge + 2 * scale, y).toRgb().red(), 200);
        }
    }
}

TEST(EnlargeImage, ValuesOutOfRangeAreClampedNotWrapped)
{
    // Three times the input, and one minus it: bright values pass 1, dark ones fall below 0.
    for (const char* operation : {"0=2 1=1 2=3.0", "0=7 1=1 2=0.5"}) {
        TNetwork network = handMade(THandMadeModel()
                                        .Layer(std::string("BinaryOp b 1 1 data t ") + operation)
                                        .Layer("Interp up 1 1 t out 0=1 1=4.0 2=4.0"),
                                    3);
        QImage image(2, 1, QImage::Format_RGB888);
        image.setPixel(0, 0, qRgb(200, 50, 0));
        image.setPixel(1, 0, qRgb(255, 128, 10));
        const QImage enlarged = EnlargeImage(network, image, 0);
        const bool triple = operation[2] == '2';
        const auto expected = [&](int value) {
            const double result = triple ? 3.0 * value : 127.5 - value;
            return int(std::lround(std::clamp(result, 0.0, 255.0)));
        };
        for (int x : {0, 1}) {
            const QRgb in = image.pixel(x, 0);
            const QRgb out = enlarged.pixel(x * 4 + 1, 2);
            EXPECT_EQ(qRed(out), expected(qRed(in))) << operation;
            EXPECT_EQ(qGreen(out), expected(qGreen(in))) << operation;
            EXPECT_EQ(qBlue(out), expected(qBlue(in))) << operation;
        }
    }
}

TEST(EnlargeImage, TilesAgreeWithAWholeImagePass)
{
    SKIP_WITHOUT_MODELS();
    struct TCase {
        const char* model;
        QSize size;
    };
    std::vector<TCase> cases{{"realesrgan-x4fast", {90, 70}}, {"realesrgan-x4plus", {56, 44}}};
    // Models that make their 4x result smaller: the border their tiles throw away is another.
    if (artworkProvisioned())
        cases.insert(cases.end(), {{"realesr-animevideov3-x2", {76, 60}},
                                   {"realesr-animevideov3-x3", {76, 60}}});
    for (const TCase& test : cases) {
        TNetwork network = provisionedModel(QString::fromLatin1(test.model));
        const QImage image = QByteArray(test.model).startsWith("realesr-anime")
                                 ? drawing(test.size.width(), test.size.height())
                                 : photo(test.size.width(), test.size.height());
        const QImage whole = EnlargeImage(network, image, 1000);
        const QImage tiled = EnlargeImage(network, image, 32);
        const double agreement = psnr(whole, tiled);
        std::printf("%s: tiles of 32 against the whole image: PSNR %.2f dB\n", test.model,
                    agreement);
        EXPECT_GE(agreement, 40.0) << test.model;
        EXPECT_LT(agreement, 99.0) << test.model << ": tiles that never differ test nothing";
    }
}

TEST(EnlargeImage, ALargeResultLeavesTheTilesLessMemory)
{
    SKIP_WITHOUT_MODELS();
    TNetwork network = provisionedModel(QStringLiteral("realesrgan-x4plus"));
    // A 4000 x 3000 photo: its 8-bit result, and its 16-bit one held as 64 bits a pixel.
    const std::size_t eightBit = std::size_t(16000) * 12000 * 3 + std::size_t(4000) * 3000 * 8;
    const std::size_t sixteenBit = std::size_t(16000) * 12000 * 8 + std::size_t(4000) * 3000 * 16;
    const int alone = engine::AutomaticTileSize(network);
    const int beside8 = engine::AutomaticTileSize(network, eightBit);
    const int beside16 = engine::AutomaticTileSize(network, sixteenBit);
    std::printf("realesrgan-x4plus tiles: %d alone, %d beside an 8-bit 4000x3000 result, %d beside "
                "a 16-bit one\n",
                alone, beside8, beside16);
    EXPECT_EQ(beside8, alone);
    EXPECT_LT(beside16, alone);
    const auto workspace = [&network](int side) {
        return network.WorkspaceBytes(side + 2 * engine::TileOverlap,
                                      side + 2 * engine::TileOverlap);
    };
    EXPECT_LT(workspace(beside16) + sixteenBit, std::size_t(1900) << 20)
        << "the tiles and the 16-bit result together pass the memory one image may take";
}

TEST(EnlargeImage, Bfloat16AgreesWithFloat32)
{
    SKIP_WITHOUT_MODELS();
    if (engine::NativePrecision() != engine::TPrecision::Bfloat16)
        GTEST_SKIP() << "this processor has no native bf16, so the engine computes in fp32";
    for (const TProvisionedModel& model : provisionedModels) {
        if (model.artwork && !artworkProvisioned())
            continue;
        const QImage image = model.artwork ? drawing(40, 36) : photo(40, 36, 2);
        TNetwork single = provisionedModel(model.file(), engine::TPrecision::Float32);
        TNetwork half = provisionedModel(model.file(), engine::TPrecision::Bfloat16);
        const double agreement = psnr(EnlargeImage(single, image, 0), EnlargeImage(half, image, 0));
        std::printf("%s: bf16 against fp32: PSNR %.2f dB\n", qPrintable(model.file()), agreement);
        EXPECT_GE(agreement, 40.0) << model.file().toStdString();
    }
}

TEST(EnlargeImage, AgreesWithTheOutsideUpscalerOnTheSameModels)
{
    const QString program = ProvisionedUpscaler + QStringLiteral("/realesrgan-ncnn-vulkan");
    if (!QFileInfo(program).isExecutable() || !modelsProvisioned())
        GTEST_SKIP() << "the real upscaler is not provisioned in "
                     << ProvisionedUpscaler.toStdString()
                     << " (scripts/get-upscaler provisions it)";
    if (!artworkProvisioned())
        std::printf("The Artwork models are not provisioned: only Photo's are compared\n");
    const QString folder = testenv::NewFolder(QStringLiteral("agreement"));
    for (const TProvisionedModel& model : provisionedModels) {
        if (model.artwork && !artworkProvisioned())
            continue;
        const QSize size = model.artwork ? QSize(32, 28) : QSize(28, 24);
        const QString input = folder + QLatin1Char('/') + model.file() + QStringLiteral(".png");
        const QString output =
            folder + QLatin1Char('/') + model.file() + QStringLiteral("-out.png");
        const QImage image = model.artwork ? drawing(size.width(), size.height())
                                           : photo(size.width(), size.height(), 3);
        ASSERT_TRUE(image.save(input));
        QStringList arguments{
            QStringLiteral("-i"), input,
            QStringLiteral("-o"), output,
            QStringLiteral("-n"), QString::fromLatin1(model.name),
            QStringLiteral("-m"), ProvisionedUpscaler + QStringLiteral("/models")};
        // The provisioned build takes the model's own scale as -z; -s alone would have it run the
        // 4x model and scale its result.
        if (model.scale != 4)
            arguments << QStringLiteral("-z") << QString::number(model.scale)
                      << QStringLiteral("-s") << QString::number(model.scale);
        QProcess upscaler;
        upscaler.start(program, arguments);
        ASSERT_TRUE(upscaler.waitForFinished(300000));
        const QImage theirs(output);
        ASSERT_FALSE(theirs.isNull()) << upscaler.readAllStandardError().toStdString();

        TNetwork network = provisionedModel(model.file());
        ASSERT_EQ(network.Scale(), model.scale) << model.file().toStdString();
        const QImage ours = EnlargeImage(network, image, 0);
        ASSERT_EQ(ours.size(), size * model.scale);
        const double agreement = psnr(ours, theirs);
        std::printf("%s on %dx%d: against the outside upscaler: PSNR %.2f dB\n",
                    qPrintable(model.file()), size.width(), size.height(), agreement);
        EXPECT_GE(agreement, 40.0) << model.file().toStdString();
    }
}

// The program as the batch engine runs it.
struct TRun {
    int exitCode;
    QStringList lines;
};

TRun enlarge(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(GRANDORA_ENLARGE), arguments);
    if (!process.waitForFinished(120000))
        return {-1, {}};
    return {process.exitCode(),
            QString::fromUtf8(process.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
}

QString handMadeModelFolder()
{
    const QString folder = testenv::NewFolder(QStringLiteral("models"));
    const THandMadeModel model = NearestFourTimes();
    testenv::WriteFile(folder + QStringLiteral("/nearest.param"),
                       QByteArray::fromStdString(model.Param(2)));
    testenv::WriteFile(folder + QStringLiteral("/nearest.bin"),
                       QByteArray::fromStdString(model.Bin()));
    return folder;
}

TEST(EnlargeProgram, FolderRunNamesEachImageAndTheOneItCannotRead)
{
    const QString models = handMadeModelFolder();
    const QString folder = testenv::NewFolder(QStringLiteral("run"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/in")));
    ASSERT_TRUE(photo(64, 64).save(folder + QStringLiteral("/in/a.png")));
    testenv::WriteFile(folder + QStringLiteral("/in/b.png"), "not an image");
    ASSERT_TRUE(photo(20, 10).save(folder + QStringLiteral("/in/c.jpg")));

    const TRun run =
        enlarge({QStringLiteral("-i"), folder + QStringLiteral("/in"), QStringLiteral("-o"),
                 folder + QStringLiteral("/out"), QStringLiteral("-n"), QStringLiteral("nearest"),
                 QStringLiteral("-m"), models, QStringLiteral("-s"), QStringLiteral("4"),
                 QStringLiteral("-f"), QStringLiteral("webp"), QStringLiteral("-t"),
                 QStringLiteral("32"), QStringLiteral("-v")});
    const QStringList expected{
        QStringLiteral("0.00%"),
        QStringLiteral("25.00%"),
        QStringLiteral("50.00%"),
        QStringLiteral("75.00%"),
        QStringLiteral("100.00%"),
        folder + QStringLiteral("/in/a.png -> ") + folder + QStringLiteral("/out/a.webp done"),
        QStringLiteral("Couldn't read the image '") + folder + QStringLiteral("/in/b.png'!"),
        QStringLiteral("0.00%"),
        QStringLiteral("100.00%"),
        folder + QStringLiteral("/in/c.jpg -> ") + folder + QStringLiteral("/out/c.webp done"),
    };
    EXPECT_EQ(run.lines, expected);
    EXPECT_EQ(run.exitCode, 1) << "an image failed";
    EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("/out/a.webp")), QSize(256, 256));
    EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("/out/c.webp")), QSize(80, 40));
}

TEST(EnlargeProgram, SixteenBitFilesComeOutSixteenBit)
{
    const QString models = handMadeModelFolder();
    const QString folder = testenv::NewFolder(QStringLiteral("deep"));
    for (const char* suffix : {"png", "tif"}) {
        QImage image(5, 4, QImage::Format_Grayscale16);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                reinterpret_cast<quint16*>(image.scanLine(y))[x] = quint16(x * 13001 + y * 7 + 3);
        const QString input = folder + QStringLiteral("/grey.") + QLatin1String(suffix);
        const QString output =
            folder + QStringLiteral("/grey-") + QLatin1String(suffix) + QStringLiteral(".png");
        ASSERT_TRUE(image.save(input));
        const TRun run = enlarge({QStringLiteral("-i"), input, QStringLiteral("-o"), output,
                                  QStringLiteral("-n"), QStringLiteral("nearest"),
                                  QStringLiteral("-m"), models});
        ASSERT_EQ(run.exitCode, 0) << run.lines.join(QLatin1Char('\n')).toStdString();
        const QImage enlarged(output);
        ASSERT_EQ(enlarged.format(), QImage::Format_Grayscale16) << suffix;
        EXPECT_EQ(reinterpret_cast<const quint16*>(enlarged.constScanLine(13))[19],
                  quint16(4 * 13001 + 3 * 7 + 3))
            << suffix;
    }
}

TEST(EnlargeProgram, FailuresAreSaidAndEndWithAnErrorCode)
{
    const QString models = handMadeModelFolder();
    const QString folder = testenv::NewFolder(QStringLiteral("fail"));
    const QString input = folder + QStringLiteral("/a.png");
    ASSERT_TRUE(photo(8, 8).save(input));
    const QString unwritable = folder + QStringLiteral("/missing/a.png");

    const TRun write =
        enlarge({QStringLiteral("-i"), input, QStringLiteral("-o"), unwritable,
                 QStringLiteral("-n"), QStringLiteral("nearest"), QStringLiteral("-m"), models});
    EXPECT_NE(write.exitCode, 0);
    EXPECT_TRUE(write.lines.contains(QStringLiteral("Couldn't write the image ") + unwritable))
        << write.lines.join(QLatin1Char('\n')).toStdString();

    const TRun model = enlarge({QStringLiteral("-i"), input, QStringLiteral("-o"),
                                folder + QStringLiteral("/b.png"), QStringLiteral("-n"),
                                QStringLiteral("absent"), QStringLiteral("-m"), models});
    EXPECT_NE(model.exitCode, 0);
    EXPECT_TRUE(model.lines.join(QLatin1Char('\n')).contains(QStringLiteral("absent.param")));

    const TRun scale =
        enlarge({QStringLiteral("-i"), input, QStringLiteral("-o"),
                 folder + QStringLiteral("/c.png"), QStringLiteral("-n"), QStringLiteral("nearest"),
                 QStringLiteral("-m"), models, QStringLiteral("-s"), QStringLiteral("2")});
    EXPECT_NE(scale.exitCode, 0);
    EXPECT_TRUE(scale.lines.contains(QStringLiteral("The model nearest enlarges 4x, not 2x")))
        << scale.lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/c.png")));

    const TRun usage = enlarge({QStringLiteral("-q")});
    EXPECT_NE(usage.exitCode, 0);
    EXPECT_TRUE(usage.lines.join(QLatin1Char('\n')).contains(QStringLiteral("Usage:")));
}

} // namespace
