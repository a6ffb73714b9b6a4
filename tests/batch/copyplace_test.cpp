// Where copies go and what they are called: the folder tree kept or flattened, the name pattern,
// and what happens when a copy's name is taken, over a small tree with the fake upscaler.
#include "batch/copynaming.h"
#include "enginefixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <unistd.h>

namespace
{

// Every file below `folder`, as paths relative to it, sorted.
QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A trip's folder with two subfolders that hold the same file name, a linked folder whose real
// place is outside the trip, and an image added by itself.
class CopyPlaceTest : public BatchEngineTest
{
protected:
    void SetUp() override
    {
        BatchEngineTest::SetUp();
        layOutTree();
    }
    // A new tree and destination, and the options of a copy into it.
    void layOutTree()
    {
        root = testenv::NewFolder(QStringLiteral("library")) + QLatin1Char('/');
        trip = root + QStringLiteral("Trip");
        testenv::WriteImage(trip + QStringLiteral("/a/IMG_1.png"), 8, 6);
        testenv::WriteImage(trip + QStringLiteral("/b/IMG_1.png"), 6, 4);
        testenv::WriteImage(root + QStringLiteral("elsewhere/IMG_9.png"), 4, 4);
        ASSERT_EQ(::symlink("../elsewhere", QFile::encodeName(trip + QStringLiteral("/linked"))),
                  0);
        testenv::WriteImage(root + QStringLiteral("loose/single.png"), 4, 2);
        images = {trip + QStringLiteral("/a/IMG_1.png"), trip + QStringLiteral("/b/IMG_1.png"),
                  trip + QStringLiteral("/linked/IMG_9.png"),
                  root + QStringLiteral("loose/single.png")};
        origins = {trip, trip, trip, QString()};
        destination = testenv::NewFolder(QStringLiteral("enlarged"));
        options = TBatchOptions();
        options.imageType = TImageType::Photo;
        options.upscalerFolder = upscalerFolder;
        options.action = TAction::CreateCopies;
        options.destination = destination;
    }

    QString root, trip, destination;
    QStringList images, origins;
};

TEST_F(CopyPlaceTest, CopiesFollowTheTreeThePatternAndTheFormat)
{
    const QString leaves = QStringLiteral("leaves");
    const struct {
        const char* what;
        bool intoDestination;
        bool keepStructure;
        const char* pattern;
        TOutputFormat format;
        int scale;
        // Per image: where its copy stands (below the destination, or below the library when
        // copies go beside the originals), or `leaves` when it must fail for leaving.
        QStringList expected;
    } cases[] = {
        {"tree kept",
         true,
         true,
         "{name}",
         TOutputFormat::SameAsOriginal,
         4,
         {QStringLiteral("Trip/a/IMG_1.png"), QStringLiteral("Trip/b/IMG_1.png"), leaves,
          QStringLiteral("single.png")}},
        {"flat, as before",
         true,
         false,
         "{name}",
         TOutputFormat::SameAsOriginal,
         4,
         {QStringLiteral("IMG_1.png"), QStringLiteral("IMG_1 (2).png"), QStringLiteral("IMG_9.png"),
          QStringLiteral("single.png")}},
        {"every field, and the extension of the output format",
         true,
         true,
         "{name}_x{scale} {TYPE} {model}",
         TOutputFormat::Jpeg,
         2,
         {QStringLiteral("Trip/a/IMG_1_x2 Photo realesrgan-x4plus.jpg"),
          QStringLiteral("Trip/b/IMG_1_x2 Photo realesrgan-x4plus.jpg"), leaves,
          QStringLiteral("single_x2 Photo realesrgan-x4plus.jpg")}},
        // Beside the originals the tree is theirs already, and the link is followed as before.
        {"beside the originals",
         false,
         true,
         "{name}",
         TOutputFormat::SameAsOriginal,
         4,
         {QStringLiteral("Trip/a/IMG_1 (2).png"), QStringLiteral("Trip/b/IMG_1 (2).png"),
          QStringLiteral("elsewhere/IMG_9 (2).png"), QStringLiteral("loose/single (2).png")}},
        {"pattern beside the originals",
         false,
         true,
         "big {name}",
         TOutputFormat::SameAsOriginal,
         4,
         {QStringLiteral("Trip/a/big IMG_1.png"), QStringLiteral("Trip/b/big IMG_1.png"),
          QStringLiteral("elsewhere/big IMG_9.png"), QStringLiteral("loose/big single.png")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        layOutTree();
        options.destination = c.intoDestination ? destination : QString();
        options.keepFolderStructure = c.keepStructure;
        options.copyName = QLatin1String(c.pattern);
        options.outputFormat = c.format;
        options.scale = c.scale;
        const QString base = c.intoDestination ? destination + QLatin1Char('/') : root;
        const QStringList before = filesBelow(base);

        const auto engine = run(images, origins);

        QStringList made;
        for (qsizetype i = 0; i < images.size(); ++i) {
            const TImageResult& result = engine->seen.finished.at(static_cast<int>(i));
            SCOPED_TRACE(images[i].toStdString());
            if (c.expected[i] == leaves) {
                EXPECT_EQ(result.outcome, TImageOutcome::Failed);
                EXPECT_EQ(result.reason, LeavesDestinationReason(images[i]));
                continue;
            }
            ASSERT_EQ(result.outcome, TImageOutcome::Completed) << result.reason.toStdString();
            // Beside an original in a linked folder, the copy stands where the link leads.
            EXPECT_EQ(QFileInfo(result.target).canonicalFilePath(), base + c.expected[i]);
            EXPECT_EQ(testenv::ImageSize(result.target), testenv::ImageSize(images[i]) * c.scale);
            made << c.expected[i];
        }
        // Nothing else: no stray folder for the image that failed, no partial file.
        QStringList expectedFiles = before + made;
        expectedFiles.sort();
        EXPECT_EQ(filesBelow(base), expectedFiles);
    }
}

TEST_F(CopyPlaceTest, ATakenNameGetsANumberIsSkippedOrIsReplaced)
{
    const struct {
        const char* what;
        TNameTaken choice;
        TDisposal disposal;
        const char* outcomes;
        const char* firstTarget; // below the destination
        bool oldCopyInTrash;
    } cases[] = {
        {"add a number", TNameTaken::AddNumber, TDisposal::RecycleBin, "CC", "Trip/a/IMG_1 (2).png",
         false},
        {"skip", TNameTaken::Skip, TDisposal::RecycleBin, "SC", "Trip/a/IMG_1.png", false},
        {"replace into the trash", TNameTaken::Replace, TDisposal::RecycleBin, "CC",
         "Trip/a/IMG_1.png", true},
        {"replace for good", TNameTaken::Replace, TDisposal::DeletePermanently, "CC",
         "Trip/a/IMG_1.png", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        layOutTree();
        const QString taken = destination + QStringLiteral("/Trip/a/IMG_1.png");
        QDir(trash).removeRecursively();
        testenv::WriteImage(taken, 3, 3);
        const QByteArray oldCopy = testenv::ReadFile(taken);
        options.whenNameTaken = c.choice;
        options.disposal = c.disposal;
        const qsizetype runsBefore = upscalerRuns().size();

        const auto engine = run(images.mid(0, 2), origins.mid(0, 2));

        EXPECT_EQ(engine->seen.outcomes(), QLatin1String(c.outcomes));
        const TImageResult& first = engine->seen.finished.at(0);
        EXPECT_EQ(first.target, destination + QLatin1Char('/') + QLatin1String(c.firstTarget));
        if (c.choice == TNameTaken::Skip) {
            EXPECT_EQ(testenv::ReadFile(taken), oldCopy);
            // Decided before the upscaler: only the other image went through it.
            EXPECT_EQ(engine->seen.started, (QList<int>{0, 1}));
            EXPECT_EQ(engine->seen.summaries.at(0).skipped, 1);
            EXPECT_EQ(engine->seen.summaries.at(0).completed, 1);
            EXPECT_EQ(engine->seen.summaries.at(0).totalInputBytes, QFileInfo(images[1]).size());
        } else {
            EXPECT_EQ(testenv::ImageSize(first.target), QSize(32, 24));
        }
        if (c.choice != TNameTaken::Replace) {
            EXPECT_EQ(testenv::ReadFile(taken), oldCopy);
        }
        EXPECT_EQ(testenv::ReadFile(trash + QStringLiteral("files/IMG_1.png")),
                  c.oldCopyInTrash ? oldCopy : QByteArray());
        EXPECT_EQ(upscalerRuns().size(), runsBefore + 1);
        EXPECT_FALSE(
            filesBelow(destination).join(QLatin1Char(' ')).contains(QLatin1String(".part")));
    }
}

// A stopped or crashed batch, or one run again on new images: what was done is skipped, not
// enlarged again and not failed.
TEST_F(CopyPlaceTest, ASecondRunSkipsWhatTheFirstMade)
{
    options.whenNameTaken = TNameTaken::Skip;
    const auto first = run(images, origins);
    EXPECT_EQ(first->seen.outcomes(), QStringLiteral("CCFC"));
    const QStringList made = filesBelow(destination);
    QList<QByteArray> bytes;
    for (const QString& file : made)
        bytes << testenv::ReadFile(destination + QLatin1Char('/') + file);
    const QStringList runs = upscalerRuns();

    const auto second = run(images, origins);

    EXPECT_EQ(second->seen.outcomes(), QStringLiteral("SSFS"));
    EXPECT_EQ(upscalerRuns(), runs);
    EXPECT_EQ(filesBelow(destination), made);
    for (qsizetype i = 0; i < made.size(); ++i)
        EXPECT_EQ(testenv::ReadFile(destination + QLatin1Char('/') + made[i]), bytes[i]);
    const TBatchSummary& summary = second->seen.summaries.at(0);
    EXPECT_EQ(summary.skipped, 3);
    EXPECT_EQ(summary.completed, 0);
    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(summary.totalInputBytes, QFileInfo(images[2]).size());
    EXPECT_EQ(EndingText(summary), QStringLiteral("1 failed: ") +
                                       LeavesDestinationReason(images[2]) +
                                       QStringLiteral(" \u00b7 3 skipped"));
}

// Skipping or replacing under the original's own name would skip every image or replace the
// originals the user chose to keep: such an image fails and its original stays.
TEST_F(CopyPlaceTest, ACopyNeverTakesItsOriginalsName)
{
    options.destination.clear();
    for (const TNameTaken choice : {TNameTaken::Skip, TNameTaken::Replace}) {
        SCOPED_TRACE(int(choice));
        options.whenNameTaken = choice;
        const QByteArray before = testenv::ReadFile(images[0]);
        const auto engine = run({images[0]});
        EXPECT_EQ(engine->seen.outcomes(), QStringLiteral("F"));
        EXPECT_TRUE(engine->seen.finished.at(0).reason.contains(QLatin1String("own name")));
        EXPECT_EQ(testenv::ReadFile(images[0]), before);
        EXPECT_EQ(filesBelow(trip + QStringLiteral("/a")),
                  QStringList{QStringLiteral("IMG_1.png")});
    }
}

// A folder of the tree that is a link to elsewhere inside the destination is no way out of it.
TEST_F(CopyPlaceTest, ALinkInTheDestinationLeadsNowhereElse)
{
    const QString outside = testenv::NewFolder(QStringLiteral("outside"));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(),
                        QFile::encodeName(destination + QStringLiteral("/Trip")).constData()),
              0);
    const auto engine = run(images.mid(0, 1), origins.mid(0, 1));
    EXPECT_EQ(engine->seen.outcomes(), QStringLiteral("F"));
    EXPECT_EQ(engine->seen.finished.at(0).reason,
              LeavesDestinationReason(destination + QStringLiteral("/Trip/a/")));
    EXPECT_TRUE(testenv::FolderEntries(outside).isEmpty());
}

TEST(CopyName, PatternsThatCannotNameAFileAreRefusedWithTheirFault)
{
    const struct {
        QString pattern;
        QString fault; // empty: accepted
    } cases[] = {
        {QStringLiteral("{name}"), {}},
        {QStringLiteral("{Name} {SCALE}x"), {}},
        {QStringLiteral("..{name}"), {}},
        {QStringLiteral("{} {name} {x"), {}},
        {QString(), QStringLiteral("The copy name is empty.")},
        {QStringLiteral("   "), QStringLiteral("The copy name is empty.")},
        {QStringLiteral("big/{name}"),
         QStringLiteral("The copy name \"big/{name}\" contains \"/\", which separates folders.")},
        {QStringLiteral("../{name}"),
         QStringLiteral("The copy name \"../{name}\" contains \"/\", which separates folders.")},
        {QStringLiteral("{name}") + QChar(0),
         QStringLiteral("The copy name \"{name}\uFFFD\" contains a control character, which file "
                        "names cannot hold.")},
        {QStringLiteral("a\tb"), QStringLiteral("The copy name \"a\uFFFDb\" contains a control "
                                                "character, which file names cannot hold.")},
        {QStringLiteral("."),
         QStringLiteral("The copy name \".\" gives \".\" or \"..\", which stand for folders.")},
        {QStringLiteral(".."),
         QStringLiteral("The copy name \"..\" gives \".\" or \"..\", which stand for folders.")},
        {QStringLiteral("{name}_{size}"),
         QStringLiteral("The copy name \"{name}_{size}\" has an unknown field {size}. The fields "
                        "are {name}, {scale}, {type}, {model}.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern.toStdString());
        EXPECT_EQ(CopyNameFault(c.pattern), c.fault);
    }
}

TEST(CopyName, FieldsFillTheStemAndLongNamesLoseItsEnd)
{
    const QString x250(250, QLatin1Char('x'));
    const QString e120(120, QChar(0xe9)); // two bytes each in UTF-8
    const struct {
        QString input, savedName, pattern;
        TImageType type;
        TSpeed speed;
        QString expected;
    } cases[] = {
        // The default keeps the name the copy has always had, a misnamed extension included.
        {QStringLiteral("/p/IMG.JPG"), QStringLiteral("IMG.JPG"), QStringLiteral("{name}"),
         TImageType::Photo, TSpeed::BestQuality, QStringLiteral("IMG.JPG")},
        {QStringLiteral("/p/scan.tif"), QStringLiteral("scan.png"),
         QStringLiteral("{name} ({type})"), TImageType::Artwork, TSpeed::BestQuality,
         QStringLiteral("scan (Artwork).png")},
        {QStringLiteral("/p/a.b.png"), QStringLiteral("a.b.png"), QStringLiteral("{name}-{model}"),
         TImageType::Artwork, TSpeed::Fast, QStringLiteral("a.b-realesr-animevideov3.png")},
        {QStringLiteral("/p/") + x250 + QStringLiteral(".png"), x250 + QStringLiteral(".png"),
         QStringLiteral("{name}_big"), TImageType::Photo, TSpeed::BestQuality,
         x250 + QStringLiteral("_.png")},
        // Cut on a character boundary, never through one.
        {QStringLiteral("/p/") + e120 + QStringLiteral(".png"), e120 + QStringLiteral(".png"),
         QStringLiteral("{name}{name}"), TImageType::Photo, TSpeed::BestQuality,
         QString(125, QChar(0xe9)) + QStringLiteral(".png")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern.toStdString());
        TBatchOptions options;
        options.copyName = c.pattern;
        options.imageType = c.type;
        options.speed = c.speed;
        EXPECT_EQ(CopyFileName(options, c.input, c.savedName), c.expected);
    }
}

} // namespace
