#include "enginefixture.h"

#include "batch/batchengine.h"
#include "batch/multiimagerun.h"
#include "batch/placement.h"
#include "platform/files.h"
#include "platform/instancefolder.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QScopeGuard>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>

namespace
{

TEST_F(BatchEngineTest, PlacesEachResultAsTheOptionsSay)
{
    struct Case {
        const char* name;
        TAction action;
        TDisposal disposal;
        bool intoDestination;
        QStringList existing; // already in the target folder
        const char* expected; // where the enlarged image must stand
    } cases[] = {
        {"recycle", TAction::ResizeOriginal, TDisposal::RecycleBin, false, {}, "a.png"},
        {"delete", TAction::ResizeOriginal, TDisposal::DeletePermanently, false, {}, "a.png"},
        {"copy beside", TAction::CreateCopies, TDisposal::RecycleBin, false, {}, "a (2).png"},
        {"copy beside taken",
         TAction::CreateCopies,
         TDisposal::RecycleBin,
         false,
         {QStringLiteral("a (2).png")},
         "a (3).png"},
        {"into empty folder", TAction::CreateCopies, TDisposal::RecycleBin, true, {}, "a.png"},
        {"into folder with a.png",
         TAction::CreateCopies,
         TDisposal::RecycleBin,
         true,
         {QStringLiteral("a.png")},
         "a (2).png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        const QString original = testenv::WriteImage(photos + QStringLiteral("a.png"), 8, 6);
        const QByteArray originalBytes = testenv::ReadFile(original);
        const QString target = c.intoDestination
                                   ? testenv::NewFolder(QStringLiteral("dest")) + QLatin1Char('/')
                                   : photos;
        for (const QString& name : c.existing)
            testenv::WriteFile(target + name, "already here");
        QDir(trash + QStringLiteral("files")).removeRecursively();
        options.action = c.action;
        options.disposal = c.disposal;
        options.destination = c.intoDestination ? target.chopped(1) : QString();

        const auto engine = run({original});

        ASSERT_EQ(engine->seen.outcomes(), QStringLiteral("C"));
        const TImageResult& result = engine->seen.finished.at(0);
        EXPECT_EQ(result.target, target + QLatin1String(c.expected));
        EXPECT_EQ(testenv::ImageSize(target + QLatin1String(c.expected)), QSize(32, 24));
        EXPECT_EQ(result.bytesIn, originalBytes.size());
        EXPECT_EQ(result.bytesOut, QFileInfo(result.target).size());
        for (const QString& name : c.existing)
            EXPECT_EQ(testenv::ReadFile(target + name), "already here");
        if (c.action == TAction::CreateCopies) {
            EXPECT_EQ(testenv::ReadFile(original), originalBytes);
        }
        EXPECT_EQ(testenv::ReadFile(trash + QStringLiteral("files/a.png")),
                  c.disposal == TDisposal::RecycleBin && c.action == TAction::ResizeOriginal
                      ? originalBytes
                      : QByteArray());
        ASSERT_EQ(engine->seen.summaries.size(), 1u);
        const TBatchSummary& summary = engine->seen.summaries[0];
        EXPECT_EQ(summary.completed, 1);
        EXPECT_EQ(summary.failed, 0);
        EXPECT_EQ(summary.totalInputBytes, originalBytes.size());
        EXPECT_EQ(summary.totalOutputBytes, result.bytesOut);
    }
    // The model follows the image type; the output goes to the engine's own folder.
    options.imageType = TImageType::Artwork;
    options.action = TAction::CreateCopies;
    options.destination.clear();
    const auto engine = run({testenv::WriteImage(folder + QStringLiteral("p.PNG"), 4, 4)});
    const QStringList args = upscalerRuns().last().split(QLatin1Char('\t'));
    EXPECT_EQ(args.mid(4),
              (QStringList{QStringLiteral("-n"), QStringLiteral("realesrgan-x4plus-anime")}));
    EXPECT_EQ(QFileInfo(args[3]).fileName(), QStringLiteral("zelimageupscale.png"));
    EXPECT_TRUE(args[3].startsWith(tempParent + QStringLiteral("run-")));
}

// Each way an upscaler can leave something that is not the complete enlarged image. The
// upscaler exits 0 in most of them; the original must stay as it was.
TEST_F(BatchEngineTest, AnythingButACompleteEnlargedImageFailsAndTouchesNothing)
{
    struct Case {
        const char* mode;
        const char* file;
        const char* reason; // the start of the reason
    } cases[] = {
        {"nothing", "a.png", "The upscaler gave no complete enlarged image: "},
        {"empty", "a.png", "The upscaler gave no complete enlarged image: "},
        {"truncated", "a.png", "The upscaler gave no complete enlarged image: "},
        {"cutoff", "a.png", "The upscaler gave no complete enlarged image: "},
        {"cutoff", "a.jpg", "The upscaler gave no complete enlarged image: "},
        {"cutoff", "a.webp", "The upscaler gave no complete enlarged image: "},
        {"same", "a.png", "The upscaler gave no complete enlarged image: "},
        {"crash", "a.png", "The upscaler ended with an error: "},
        {"exit1", "a.png", "The upscaler ended with an error: "},
        {"writefail", "a.png", "The upscaler could not write the enlarged image: "},
    };
    options.action = TAction::ResizeOriginal;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.file);
        qputenv("GRANDORA_FAKE_UPSCALER_MODE", c.mode);
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        const QString a = testenv::WriteImage(photos + QLatin1String(c.file), 64, 64);
        const QByteArray before = testenv::ReadFile(a);

        const auto engine = run({a});

        EXPECT_EQ(engine->seen.outcomes(), QStringLiteral("F"));
        if (engine->seen.finished.empty())
            continue;
        const TImageResult& result = engine->seen.finished.at(0);
        EXPECT_TRUE(result.reason.startsWith(QLatin1String(c.reason)))
            << result.reason.toStdString();
        EXPECT_EQ(result.bytesIn, before.size());
        EXPECT_EQ(testenv::ReadFile(a), before);
        EXPECT_EQ(testenv::FolderEntries(photos), QStringList{QLatin1String(c.file)});
        EXPECT_TRUE(testenv::FolderEntries(trash + QStringLiteral("files")).isEmpty());
        ASSERT_EQ(engine->seen.summaries.size(), 1u);
        EXPECT_EQ(engine->seen.summaries[0].failed, 1);
        EXPECT_EQ(engine->seen.summaries[0].completed, 0);
        EXPECT_EQ(engine->seen.summaries[0].totalOutputBytes, 0);
        EXPECT_EQ(engine->seen.summaries[0].lastFailure, result.reason);
    }
}

// A picture with something to show, so that a result of one flat colour is empty.
QString writePicture(const QString& path)
{
    QImage image(12, 10, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(40 + x * 16, 200 - y * 12, 90));
    EXPECT_TRUE(image.save(path));
    return path;
}

// An upscaler that comes back with an all-black or a damaged picture, in runs of one image and of
// many, replacing originals or making copies at another scale and format: each image fails with
// the reason, and the user's files stay as they were. Only Fast's damage brings the advice.
TEST_F(BatchEngineTest, AnEmptyOrDamagedResultIsNeverPlaced)
{
    struct Spoil {
        const char* mode;
        const char* reason;
    } spoils[] = {{"black", "The upscaler returned an empty image"},
                  {"damaged", "The upscaler returned a damaged image"}};
    options.disposal = TDisposal::DeletePermanently;
    for (const Spoil& spoil : spoils) {
        qputenv("GRANDORA_FAKE_UPSCALER_MODE", spoil.mode);
        for (const int perRun : {1, 100}) {
            for (const TAction action : {TAction::ResizeOriginal, TAction::CreateCopies}) {
                SCOPED_TRACE(QStringLiteral("%1, %2 per run, action %3")
                                 .arg(QLatin1String(spoil.mode))
                                 .arg(perRun)
                                 .arg(static_cast<int>(action))
                                 .toStdString());
                const QString photos =
                    testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
                const QStringList images{writePicture(photos + QStringLiteral("a.png")),
                                         writePicture(photos + QStringLiteral("b.png"))};
                const QByteArray before = testenv::ReadFile(images[0]);
                options.action = action;
                options.scale = action == TAction::CreateCopies ? 2 : 4;
                options.outputFormat = action == TAction::CreateCopies
                                           ? TOutputFormat::Jpeg
                                           : TOutputFormat::SameAsOriginal;
                options.speed = perRun == 1 ? TSpeed::Fast : TSpeed::BestQuality;
                const qsizetype runsBefore = upscalerRuns().size();

                Engine engine(tempParent);
                engine.engine.SetImagesPerRun(perRun);
                engine.start(options, images);
                ASSERT_TRUE(waitFor([&] { return engine.ended() && !engine.engine.IsBusy(); }));

                EXPECT_EQ(upscalerRuns().size() - runsBefore, perRun == 1 ? 2 : 1);
                EXPECT_EQ(engine.seen.outcomes(), QStringLiteral("FF"));
                for (const auto& [row, result] : engine.seen.finished)
                    EXPECT_EQ(result.reason, QLatin1String(spoil.reason)) << row;
                for (const QString& image : images)
                    EXPECT_EQ(testenv::ReadFile(image), before) << image.toStdString();
                EXPECT_EQ(testenv::FolderEntries(photos),
                          (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png")}));
                ASSERT_EQ(engine.seen.summaries.size(), 1u);
                EXPECT_EQ(engine.seen.summaries[0].failed, 2);
                EXPECT_EQ(engine.seen.summaries[0].commonFailure, QLatin1String(spoil.reason));
                EXPECT_EQ(
                    engine.seen.summaries[0].advice,
                    options.speed == TSpeed::Fast && QByteArray(spoil.mode) == "damaged"
                        ? QStringLiteral("Fast damaged images on this computer; Best quality gives "
                                         "proper results")
                        : QString());
            }
        }
    }
}

// The real upscaler's fast model turns the black of a small star field into bright noise on
// Mesa's software Vulkan driver, when scripts/get-upscaler has provisioned it: the image fails as
// damaged and the original stays.
TEST_F(BatchEngineTest, RealFastModelsDamageIsCaught)
{
    const QString real = QStringLiteral(GRANDORA_BIN_DIR "/realesrgan/");
    if (!QFileInfo(real + QStringLiteral("realesrgan-ncnn-vulkan")).isExecutable() ||
        !QFileInfo::exists(real + QStringLiteral("models/realesrgan-x4fast.bin")))
        GTEST_SKIP() << "the real upscaler is not provisioned in " << real.toStdString()
                     << " (scripts/get-upscaler provisions it)";
    const QString original = folder + QStringLiteral("stars.png");
    ASSERT_TRUE(QFile::copy(QStringLiteral(GRANDORA_LIKENESS_DATA "/space.png"), original));
    const QByteArray before = testenv::ReadFile(original);
    options.upscalerFolder = real;
    options.speed = TSpeed::Fast;
    options.action = TAction::ResizeOriginal;
    options.disposal = TDisposal::DeletePermanently;

    Engine engine(tempParent);
    engine.start(options, {original});
    ASSERT_TRUE(waitFor([&] { return engine.ended() && !engine.engine.IsBusy(); }, 300000));

    EXPECT_EQ(engine.seen.outcomes(), QStringLiteral("F"));
    EXPECT_EQ(engine.seen.finished.at(0).reason,
              QStringLiteral("The upscaler returned a damaged image"));
    EXPECT_EQ(testenv::ReadFile(original), before);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("stars.png")});
}

// STOP at each point of a job, in a run of one image and in a run of many: the image the upscaler
// is on ends Aborted, placed images stay, the rest stay as they were.
TEST_F(BatchEngineTest, StopAbortsTheRunningImageWhereverItIs)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "100");
    options.action = TAction::ResizeOriginal;
    enum When { InStartedReport, RightAfterStart, WhileItRuns, OnTheSecondImage };
    struct Case {
        int perRun;
        When when;
        const char* outcomes;
        int stopped;
    } cases[] = {
        // One run per image: the report of the start comes before the upscaler does.
        {1, InStartedReport, "", 0},
        {1, RightAfterStart, "A", 1},
        {1, WhileItRuns, "A", 1},
        {1, OnTheSecondImage, "CA", 1},
        // One run for all: an image starts when the upscaler says so.
        {100, InStartedReport, "A", 1},
        {100, RightAfterStart, "", 1},
        {100, WhileItRuns, "A", 1},
        {100, OnTheSecondImage, "CA", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.perRun << " per run, stop " << c.when);
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        QStringList images;
        QList<QByteArray> before;
        for (const char* name : {"a.png", "b.png", "c.png"}) {
            images << testenv::WriteImage(photos + QLatin1String(name), 8, 8);
            before << testenv::ReadFile(images.back());
        }
        Engine engine(tempParent);
        engine.engine.SetImagesPerRun(c.perRun);
        if (c.when == InStartedReport)
            QObject::connect(&engine.engine, &TBatchEngine::ImageStarted, &engine.engine,
                             &TBatchEngine::Stop, Qt::SingleShotConnection);
        engine.start(options, images);
        if (c.when == InStartedReport) {
            ASSERT_TRUE(waitFor([&] { return !engine.engine.IsRunning(); }));
        }
        if (c.when == WhileItRuns) {
            ASSERT_TRUE(waitFor([&] { return engine.seen.started.size() == 1; }));
            QTest::qWait(150);
        }
        if (c.when == OnTheSecondImage) {
            ASSERT_TRUE(waitFor([&] { return engine.seen.started.size() == 2; }));
        }
        engine.engine.Stop();
        EXPECT_FALSE(engine.engine.IsRunning());
        ASSERT_TRUE(waitFor([&] { return !engine.engine.IsBusy(); }));
        QTest::qWait(50); // nothing more may arrive

        EXPECT_EQ(engine.seen.outcomes(), QLatin1String(c.outcomes));
        EXPECT_EQ(engine.seen.stopped, c.stopped);
        EXPECT_TRUE(engine.seen.summaries.empty());
        for (int i = c.when == OnTheSecondImage ? 1 : 0; i < 3; ++i)
            EXPECT_EQ(testenv::ReadFile(images[i]), before[i]) << i;
        EXPECT_EQ(testenv::FolderEntries(engine.folder.Path()),
                  QStringList{QStringLiteral(".owner")})
            << "the staging is gone";
    }
}

// One upscaler run for many images keeps every image's own outcome: a file cut short, a write
// failure and a crash in the middle each end only their own image; the image of the crash gets a
// second run of its own, and the images after it a new run.
TEST_F(BatchEngineTest, ARunForManyImagesKeepsEachImagesOutcome)
{
    options.action = TAction::CreateCopies;
    QStringList images;
    const int widths[] = {
        8, 9, 0 /* cut short */, 11 /* cannot be written */, 10, 13 /* crashes */, 12, 14};
    for (int i = 0; i < 8; ++i) {
        const QString path = folder + QStringLiteral("p%1.png").arg(i);
        testenv::WriteImage(path, widths[i] == 0 ? 20 : widths[i], 8);
        // Its header still says PNG, so only the upscaler finds out.
        if (widths[i] == 0)
            testenv::WriteFile(path, testenv::ReadFile(path).left(40));
        images << path;
    }

    const auto engine = run(images);

    EXPECT_EQ(engine->seen.outcomes(), QStringLiteral("CCFFCFCC"));
    EXPECT_EQ(engine->seen.finished.at(2).reason,
              QStringLiteral("The upscaler could not read the image: ") + images[2]);
    EXPECT_EQ(engine->seen.finished.at(3).reason,
              QStringLiteral("The upscaler could not write the enlarged image: ") + images[3]);
    EXPECT_EQ(engine->seen.finished.at(5).reason,
              QStringLiteral("The upscaler ended with an error: ") + images[5]);
    for (int i : {0, 1, 4, 6, 7})
        EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("p%1 (2).png").arg(i)),
                  QSize(widths[i] * 4, 32))
            << i;
    // The first run, the crashed image alone, then the two after it.
    const QStringList runs = upscalerRuns();
    ASSERT_EQ(runs.size(), 3);
    EXPECT_TRUE(runs[0].endsWith(QStringLiteral("\t-v")));
    EXPECT_TRUE(runs[1].startsWith(QStringLiteral("-i\t") + images[5]));
    EXPECT_TRUE(runs[2].endsWith(QStringLiteral("\t-v")));
    EXPECT_EQ(engine->seen.summaries[0].completed, 5);
    EXPECT_EQ(engine->seen.summaries[0].failed, 3);
}

// Any file name, a listed link, two output formats and more images than one run takes.
TEST_F(BatchEngineTest, RunsTakeAnyNameAndSplitByFormatAndSize)
{
    options.action = TAction::CreateCopies;
    qputenv("GRANDORA_FAKE_UPSCALER_COMMA", "1");
    qputenv("LC_ALL", "de_DE.UTF-8"); // the upscaler's percentages then read "25,00%"
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "1");
    const QString target = testenv::WriteImage(folder + QStringLiteral("target.png"), 5, 5);
    QStringList images{
        testenv::WriteImage(folder + QStringLiteral("with space \"quoted\" 'x'.png"), 4, 4),
        testenv::WriteImage(folder + QStringLiteral("new\nline f\u00f6to \u5199\u771f.png"), 4, 4),
        testenv::WriteImage(folder + QStringLiteral("photo.jpg"), 6, 6),
        testenv::WriteImage(folder + QStringLiteral("photo2.JPEG"), 6, 6),
        folder + QStringLiteral("link.png"),
        testenv::WriteImage(folder + QStringLiteral("last.webp"), 4, 4),
    };
    ASSERT_TRUE(QFile::link(target, images[4]));
    for (int i = 0; i < 5; ++i)
        images << testenv::WriteImage(folder + QStringLiteral("more%1.png").arg(i), 3, 3);
    auto engine = std::make_unique<Engine>(tempParent);
    engine->engine.SetImagesPerRun(4);
    QList<double> fractions;
    QObject::connect(&engine->engine, &TBatchEngine::ImageProgress,
                     [&](int, double fraction) { fractions << fraction; });
    engine->start(options, images);
    ASSERT_TRUE(waitFor([&] { return engine->ended(); }));
    qunsetenv("LC_ALL");
    qunsetenv("GRANDORA_FAKE_UPSCALER_COMMA");

    EXPECT_EQ(engine->seen.outcomes(), QString(images.size(), QLatin1Char('C')));
    for (int row = 0; row < images.size(); ++row) {
        const TImageResult& result = engine->seen.finished.at(row);
        EXPECT_EQ(QFileInfo(result.target).suffix(), QFileInfo(images[row]).suffix()) << row;
        const QString suffix = QFileInfo(images[row]).suffix().toLower();
        EXPECT_EQ(QImageReader(result.target).format(),
                  suffix == QLatin1String("jpg") ? QByteArray("jpeg") : suffix.toLatin1())
            << row;
    }
    EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("link (2).png")), QSize(20, 20));
    // png png jpg jpg (the program encodes the JPEGs from PNGs) | png (the link) | webp | png x4 |
    // png: runs split by the upscaler's output format and size.
    EXPECT_EQ(upscalerRuns().size(), 5);
    EXPECT_TRUE(fractions.contains(0.5)) << "percentages with a comma are read";
}

// The upscaler saves an image while it works on the next, so an image's last percentage comes
// after the next image has begun: each image's percentages stay its own, from its start to its
// end, and each starts from nothing.
TEST_F(BatchEngineTest, EachImageKeepsItsOwnPercentagesWhenTheUpscalerSavesBehind)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "20");
    qputenv("GRANDORA_FAKE_UPSCALER_SAVE_BEHIND", "1");
    const auto unset = qScopeGuard([] { qunsetenv("GRANDORA_FAKE_UPSCALER_SAVE_BEHIND"); });
    options.action = TAction::CreateCopies;
    QStringList images;
    for (const char* name : {"a.png", "b.png", "c.png"})
        images << testenv::WriteImage(folder + QLatin1String(name), 8, 8);
    Engine engine(tempParent);
    std::map<int, QList<double>> fractions;
    std::set<int> running;
    QStringList outOfTurn;
    QObject::connect(&engine.engine, &TBatchEngine::ImageStarted,
                     [&](int row, const QString&) { running.insert(row); });
    QObject::connect(&engine.engine, &TBatchEngine::ImageFinished,
                     [&](int row, const TImageResult&) { running.erase(row); });
    QObject::connect(&engine.engine, &TBatchEngine::ImageProgress, [&](int row, double fraction) {
        fractions[row] << fraction;
        if (!running.count(row))
            outOfTurn << QStringLiteral("%1 at %2").arg(row).arg(fraction);
    });

    engine.start(options, images);
    ASSERT_TRUE(waitFor([&] { return engine.ended() && !engine.engine.IsBusy(); }));

    EXPECT_EQ(engine.seen.outcomes(), QStringLiteral("CCC"));
    EXPECT_EQ(upscalerRuns().size(), 1);
    EXPECT_TRUE(outOfTurn.isEmpty()) << outOfTurn.join(QStringLiteral(", ")).toStdString();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(fractions[row], (QList<double>{0.25, 0.5, 0.75, 1.0})) << row;
}

// Two instances of the program side by side: each judges and places only its own output.
TEST_F(BatchEngineTest, TwoEnginesAtOnceKeepToTheirOwnFolders)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "30");
    options.action = TAction::ResizeOriginal;
    options.disposal = TDisposal::DeletePermanently;
    const QString first = testenv::NewFolder(QStringLiteral("first")) + QLatin1Char('/');
    const QString second = testenv::NewFolder(QStringLiteral("second")) + QLatin1Char('/');
    QStringList mine, theirs;
    for (int i = 0; i < 3; ++i) {
        mine << testenv::WriteImage(first + QStringLiteral("p%1.png").arg(i), 4, 4);
        theirs << testenv::WriteImage(second + QStringLiteral("p%1.png").arg(i), 6, 5);
    }
    Engine one(tempParent), two(tempParent);
    ASSERT_FALSE(one.folder.Path().isEmpty());
    ASSERT_NE(one.folder.Path(), two.folder.Path());
    one.start(options, mine);
    two.start(options, theirs);
    ASSERT_TRUE(waitFor([&] { return one.ended() && two.ended(); }));

    EXPECT_EQ(one.seen.outcomes(), QStringLiteral("CCC"));
    EXPECT_EQ(two.seen.outcomes(), QStringLiteral("CCC"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(testenv::ImageSize(mine[i]), QSize(16, 16));
        EXPECT_EQ(testenv::ImageSize(theirs[i]), QSize(24, 20));
    }
}

TEST_F(BatchEngineTest, AnUpscalerThatCannotRunFailsEachImageWithItsReason)
{
    const QString program = upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan");
    QFile::remove(program);
    testenv::WriteFile(program, "not a program at all");
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QString b = testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8);

    const auto engine = run({a, b});

    EXPECT_EQ(engine->seen.outcomes(), QStringLiteral("FF"));
    for (const auto& [index, result] : engine->seen.finished)
        EXPECT_EQ(result.reason,
                  QStringLiteral("The upscaler could not be started: Exec format error"));
    EXPECT_EQ(testenv::FolderEntries(folder),
              (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png")}));
}

TEST_F(BatchEngineTest, WhatIsMissingFailsItsImageBeforeAnyRun)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QString b = testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8);
    const QString gone = folder + QStringLiteral("gone.png");

    // A listed image that has vanished counts no bytes; the others go on, in one run.
    auto engine = run({a, gone, b});
    EXPECT_EQ(engine->seen.outcomes(), QStringLiteral("CFC"));
    EXPECT_EQ(engine->seen.finished.at(1).reason, QStringLiteral("Image file not found: ") + gone);
    EXPECT_EQ(engine->seen.finished.at(1).bytesIn, 0);
    EXPECT_EQ(engine->seen.summaries[0].totalInputBytes, QFileInfo(a).size() + QFileInfo(b).size());
    EXPECT_EQ(upscalerRuns().size(), 1);

    QFile::remove(upscalerFolder + QStringLiteral("models/realesrgan-x4plus.bin"));
    engine = run({a, b});
    EXPECT_EQ(engine->seen.outcomes(), QStringLiteral("FF"));
    EXPECT_EQ(engine->seen.summaries[0].lastFailure,
              QStringLiteral("Model file not found: ") + upscalerFolder +
                  QStringLiteral("models/realesrgan-x4plus.bin"));

    QFile::remove(upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan"));
    engine = run({a});
    EXPECT_EQ(engine->seen.summaries[0].lastFailure, QStringLiteral("Upscaler not found: ") +
                                                         upscalerFolder +
                                                         QStringLiteral("realesrgan-ncnn-vulkan"));
    EXPECT_EQ(upscalerRuns().size(), 1);
}

TEST(InstanceFolder, EachInstanceHasItsOwnAndOnlyAbandonedOnesAreCleared)
{
    const QString parent = testenv::NewFolder(QStringLiteral("tmp")) + QLatin1Char('/');
    auto mine = std::make_unique<platform::TInstanceFolder>(parent);
    platform::TInstanceFolder other(parent);
    ASSERT_FALSE(mine->Path().isEmpty());
    ASSERT_NE(mine->Path(), other.Path());
    testenv::WriteFile(mine->Path() + QStringLiteral("zelimageupscale.png"), "output");
    // What a killed instance leaves: its folder with an owner file that nobody holds any more.
    const QString dead = parent + QStringLiteral("run-dead00/");
    testenv::WriteFile(dead + QStringLiteral(".owner"), {});
    testenv::WriteFile(dead + QStringLiteral("zelimageupscale.png"), "left behind");

    platform::TInstanceFolder::RemoveAbandoned(parent);

    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_TRUE(QFileInfo::exists(mine->Path() + QStringLiteral("zelimageupscale.png")));
    EXPECT_TRUE(QFileInfo::exists(other.Path()));
    const QString path = mine->Path();
    mine.reset();
    EXPECT_FALSE(QFileInfo::exists(path));
}

} // namespace
