// Batches with the built-in engine: the same statuses, STOP and failures as with the upscaler,
// where the upscaler is not even provisioned.
#include "batch/upscalejob.h"
#include "batch/vulkandevices.h"
#include "engine/handmademodel.h"
#include "enginefixture.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

class BuiltInEngineTest : public BatchEngineTest
{
protected:
    void SetUp() override
    {
        BatchEngineTest::SetUp();
        QFile::remove(upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan"));
        options.engine = TEngine::BuiltIn;
        options.builtInEngine = QStringLiteral(GRANDORA_ENLARGE);
        useModel(NearestFourTimes(), 2);
    }
    void useModel(const THandMadeModel& model, int blobs)
    {
        const QString stem = upscalerFolder + QStringLiteral("models/realesrgan-x4plus");
        QFile::remove(stem + QStringLiteral(".param"));
        QFile::remove(stem + QStringLiteral(".bin"));
        testenv::WriteFile(stem + QStringLiteral(".param"),
                           QByteArray::fromStdString(model.Param(blobs)));
        testenv::WriteFile(stem + QStringLiteral(".bin"), QByteArray::fromStdString(model.Bin()));
    }
};

TEST_F(BuiltInEngineTest, EachImageGetsItsOwnStatusInBothRunModes)
{
    for (const int perRun : {1, 100}) {
        SCOPED_TRACE(testing::Message() << perRun << " per run");
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        const QString a = testenv::WriteImage(photos + QStringLiteral("a.png"), 8, 6);
        const QString broken = photos + QStringLiteral("broken.png");
        testenv::WriteFile(broken, QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'x'));
        const QString c = testenv::WriteImage(photos + QStringLiteral("c.jpg"), 5, 7);

        Engine engine(tempParent);
        engine.engine.SetImagesPerRun(perRun);
        engine.start(options, {a, broken, c});
        ASSERT_TRUE(waitFor([&] { return engine.ended() && !engine.engine.IsBusy(); }));

        EXPECT_EQ(engine.seen.outcomes(), QStringLiteral("CFC"));
        EXPECT_FALSE(engine.seen.finished.at(1).reason.isEmpty());
        EXPECT_EQ(testenv::ImageSize(engine.seen.finished.at(0).target), QSize(32, 24));
        EXPECT_EQ(testenv::ImageSize(engine.seen.finished.at(2).target), QSize(20, 28));
    }
}

// Artwork with the provisioned models, at every scale and both speeds, one image per run and many:
// every drawing is enlarged to exactly its size and judged alike.
TEST_F(BuiltInEngineTest, ArtworkIsEnlargedAtEveryScaleAndSpeed)
{
    options.upscalerFolder = QStringLiteral(GRANDORA_BIN_DIR "/realesrgan/");
    for (const TSpeed speed : {TSpeed::BestQuality, TSpeed::Fast})
        for (const int scale : {2, 3})
            if (!MissingModelFiles(options.upscalerFolder, TImageType::Artwork, speed, scale)
                     .isEmpty())
                GTEST_SKIP() << "the Artwork models are not provisioned in "
                             << options.upscalerFolder.toStdString()
                             << " (scripts/get-upscaler provisions them)";
    options.imageType = TImageType::Artwork;
    // A drawing, and an icon with transparency.
    const QString a = QStringLiteral(GRANDORA_LIKENESS_DATA "/drawing.png");
    const QString b = QStringLiteral(GRANDORA_LIKENESS_DATA "/icon.png");
    for (const TSpeed speed : {TSpeed::BestQuality, TSpeed::Fast}) {
        for (const int scale : {2, 3, 4}) {
            const int perRun = scale == 3 ? 100 : 1;
            SCOPED_TRACE(testing::Message() << (speed == TSpeed::Fast ? "Fast" : "Best quality")
                                            << " at " << scale << "x, " << perRun << " per run");
            options.speed = speed;
            options.scale = scale;
            options.destination = testenv::NewFolder(QStringLiteral("out"));
            Engine engine(tempParent);
            engine.engine.SetImagesPerRun(perRun);
            engine.start(options, {a, b});
            ASSERT_TRUE(waitFor([&] { return engine.ended() && !engine.engine.IsBusy(); }));
            ASSERT_EQ(engine.seen.outcomes(), QStringLiteral("CC"))
                << engine.seen.finished.at(0).reason.toStdString()
                << engine.seen.finished.at(1).reason.toStdString();
            EXPECT_EQ(testenv::ImageSize(engine.seen.finished.at(0).target),
                      testenv::ImageSize(a) * scale);
            EXPECT_EQ(testenv::ImageSize(engine.seen.finished.at(1).target),
                      testenv::ImageSize(b) * scale);
        }
    }
}

TEST_F(BuiltInEngineTest, StopEndsTheEngineAtOnce)
{
    // Eight wide convolutions: seconds of work for a large photo.
    THandMadeModel slow;
    slow.Layer("Convolution c0 1 1 data b0 0=64 1=3 4=1 6=1728").Tagged(std::vector<float>(1728));
    for (int i = 1; i <= 8; ++i) {
        slow.Layer("Convolution c" + std::to_string(i) + " 1 1 b" + std::to_string(i - 1) + " b" +
                   std::to_string(i) + " 0=64 1=3 4=1 6=36864 9=1")
            .Tagged(std::vector<float>(36864));
    }
    slow.Layer("Convolution last 1 1 b8 b9 0=3 1=1 6=192").Tagged(std::vector<float>(192));
    slow.Layer("Interp up 1 1 b9 out 0=1 1=4.0 2=4.0");
    useModel(slow, 12);
    for (const int perRun : {1, 100}) {
        SCOPED_TRACE(testing::Message() << perRun << " per run");
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        const QString a = testenv::WriteImage(photos + QStringLiteral("a.png"), 1200, 900);
        const QString b = testenv::WriteImage(photos + QStringLiteral("b.png"), 8, 8);

        Engine engine(tempParent);
        engine.engine.SetImagesPerRun(perRun);
        engine.start(options, {a, b});
        ASSERT_TRUE(waitFor([&] { return engine.seen.started.size() == 1; }));
        QTest::qWait(500);
        const std::uint32_t pid = engine.engine.ProcessId();
        ASSERT_NE(pid, 0u) << "the engine is still enlarging";
        engine.engine.Stop();
        EXPECT_FALSE(engine.engine.IsRunning());
        EXPECT_TRUE(waitFor([&] { return testenv::ProcessEnded(pid); }, 1000));
        ASSERT_TRUE(waitFor([&] { return !engine.engine.IsBusy(); }));

        EXPECT_EQ(engine.seen.outcomes(), QStringLiteral("A"));
        EXPECT_EQ(engine.seen.stopped, 1);
    }
}

TEST(EngineChoice, AutomaticTakesTheBuiltInEngineWhereTheUpscalerCannotRun)
{
    EXPECT_FALSE(VulkanOffersGraphicsDevice("libvulkan-that-is-not-there.so.1"));

    TBatchOptions options;
    options.upscalerFolder = testenv::NewFolder(QStringLiteral("empty")) + QLatin1Char('/');
    options.builtInEngine = QStringLiteral("/opt/engine/grandora-enlarge");
    options.engine = TEngine::Automatic;
    EXPECT_EQ(ResolvedEngine(options), TEngine::BuiltIn);
    EXPECT_EQ(EngineCommand(options), QStringLiteral("/opt/engine/grandora-enlarge -m ") +
                                          options.upscalerFolder + QStringLiteral("models"));
    options.engine = TEngine::Upscaler;
    EXPECT_EQ(EngineProgram(options),
              options.upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan"));
}

// Both engines take the same command line: the model after -n, and -s where the model itself
// enlarges by another factor than 4, which only the fast Artwork model does.
TEST(EngineChoice, TheCommandLineNamesTheModelAndItsScale)
{
    const struct {
        TImageType type;
        TSpeed speed;
        int scale;
        const char* model;
        const char* scaleArgument;
    } cases[] = {
        {TImageType::Artwork, TSpeed::BestQuality, 2, "realesrgan-x4plus-anime", ""},
        {TImageType::Artwork, TSpeed::Fast, 2, "realesr-animevideov3", " -s 2"},
        {TImageType::Artwork, TSpeed::Fast, 3, "realesr-animevideov3", " -s 3"},
        {TImageType::Artwork, TSpeed::Fast, 4, "realesr-animevideov3", ""},
        {TImageType::Photo, TSpeed::BestQuality, 3, "realesrgan-x4plus", ""},
        {TImageType::Photo, TSpeed::Fast, 2, "realesrgan-x4fast", ""},
    };
    TBatchOptions options;
    options.upscalerFolder = testenv::NewFolder(QStringLiteral("upscaler")) + QLatin1Char('/');
    options.builtInEngine = QStringLiteral("/opt/engine/grandora-enlarge");
    const QString ending = QStringLiteral(" -i in.png -o out.png -n ");
    for (const auto& c : cases) {
        options.imageType = c.type;
        options.speed = c.speed;
        options.scale = c.scale;
        EXPECT_EQ(ModelScale(options), *c.scaleArgument ? c.scale : 4) << c.model;
        options.engine = TEngine::BuiltIn;
        EXPECT_EQ(UpscalerCommandLine(options, QStringLiteral("in.png"), QStringLiteral("out.png")),
                  QStringLiteral("/opt/engine/grandora-enlarge -m ") + options.upscalerFolder +
                      QStringLiteral("models") + QLatin1String(c.scaleArgument) + ending +
                      QLatin1String(c.model));
        options.engine = TEngine::Upscaler;
        EXPECT_EQ(UpscalerCommandLine(options, QStringLiteral("in.png"), QStringLiteral("out.png")),
                  options.upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan") +
                      QLatin1String(c.scaleArgument) + ending + QLatin1String(c.model));
    }
}

} // namespace
