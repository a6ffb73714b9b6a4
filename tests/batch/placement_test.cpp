#include "batch/outputcheck.h"
#include "batch/placement.h"
#include "batch/placementjournal.h"
#include "platform/filestep.h"
#include "platform/trash.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace
{

void setMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// A result rolled by half its size each way: every part of the picture in another place.
QImage shiftedByHalf(const QImage& image)
{
    QImage shifted(image.size(), image.format());
    const int dx = image.width() / 2;
    const int dy = image.height() / 2;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            shifted.setPixel((x + dx) % image.width(), (y + dy) % image.height(),
                             image.pixel(x, y));
    return shifted;
}

QImage filled(QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Real results of the upscaler on this kind of machine (likeness/*.x4plus.png with Best quality,
// *.x4fast.png with Fast, whose dark areas came back as bright noise) and results spoiled on
// purpose, each against its input.
TEST(OutputJudgement, AResultMustShowWhatItsInputShows)
{
    const QString data = QStringLiteral(GRANDORA_LIKENESS_DATA "/");
    const auto read = [&](const char* name) {
        const QImage image = StoredPixels(data + QLatin1String(name));
        EXPECT_FALSE(image.isNull()) << name;
        return image;
    };
    const QImage photo = read("photo.png");
    const QImage photoResult = read("photo.x4plus.png");
    const QImage brown = filled({1, 1}, qRgb(120, 80, 40));
    struct Case {
        const char* name;
        QImage input;
        QImage result;
        TLikeness likeness;
    } cases[] = {
        {"photo", photo, photoResult, TLikeness::Alike},
        {"dark photo with lights", read("night.png"), read("night.x4plus.png"), TLikeness::Alike},
        {"drawing", read("drawing.png"), read("drawing.x4plus.png"), TLikeness::Alike},
        {"transparent icon", read("icon.png"), read("icon.x4plus.png"), TLikeness::Alike},
        {"grey", read("grey.png"), read("grey.x4plus.png"), TLikeness::Alike},
        {"1x1", brown, filled({4, 4}, qRgb(120, 80, 40)), TLikeness::Alike},
        {"black from black", filled({8, 8}, qRgb(0, 0, 0)), filled({32, 32}, qRgb(0, 0, 0)),
         TLikeness::Alike},
        {"all black", photo, filled(photoResult.size(), qRgb(0, 0, 0)), TLikeness::Empty},
        {"all one colour", photo, filled(photoResult.size(), qRgb(90, 140, 60)), TLikeness::Empty},
        {"1x1 come back black", brown, filled({4, 4}, qRgb(0, 0, 1)), TLikeness::Damaged},
        {"space turned to noise", read("space.png"), read("space.x4fast.png"), TLikeness::Damaged},
        {"dark lettering turned to noise", read("lettering.png"), read("lettering.x4fast.png"),
         TLikeness::Damaged},
        {"colours swapped", photo, photoResult.rgbSwapped(), TLikeness::Damaged},
        {"shifted by half", read("drawing.png"), shiftedByHalf(read("drawing.x4plus.png")),
         TLikeness::Damaged},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareWithInput(c.input, c.result), c.likeness) << c.name;
}

// A 4x result of a 2.3-megapixel photo is beyond what Qt decodes by default (128 MB of pixels);
// the batch reads it whole all the same, and judges it.
TEST(OutputJudgement, ResultsOfOrdinaryPhotosAreReadWhole)
{
    const QString folder = testenv::NewFolder(QStringLiteral("large")) + QLatin1Char('/');
    const QString input = testenv::WriteImage(folder + QStringLiteral("photo.png"), 1500, 1500);
    QImage result(6000, 6000, QImage::Format_RGB32);
    result.fill(Qt::darkCyan);
    const QString output = folder + QStringLiteral("result.png");
    ASSERT_TRUE(result.save(output));
    EXPECT_TRUE(OutputIsEnlarged(input, output));
    EXPECT_EQ(StoredPixels(output).size(), QSize(6000, 6000));
}

TEST(OutputJudgement, OnlyAReadableImageLargerInBothDimensionsCounts)
{
    const QString folder = testenv::NewFolder() + QLatin1Char('/');
    const QString input = testenv::WriteImage(folder + QStringLiteral("in.png"), 16, 10);
    testenv::WriteImage(folder + QStringLiteral("x4.png"), 64, 40);
    testenv::WriteImage(folder + QStringLiteral("wider.png"), 64, 10);
    testenv::WriteImage(folder + QStringLiteral("same.png"), 16, 10);
    testenv::WriteFile(folder + QStringLiteral("empty.png"), {});
    testenv::WriteFile(folder + QStringLiteral("cut.png"),
                       testenv::ReadFile(folder + QStringLiteral("x4.png")).left(12));
    testenv::WriteFile(folder + QStringLiteral("text.png"), "not an image at all");
    testenv::WriteFile(folder + QStringLiteral("unreadable-input.png"), "garbage");
    QDir().mkpath(folder + QStringLiteral("folder.png"));

    struct Case {
        const char* input;
        const char* output;
        bool enlarged;
    } cases[] = {
        {"in.png", "x4.png", true},
        {"in.png", "wider.png", false},
        {"in.png", "same.png", false},
        {"in.png", "empty.png", false},
        {"in.png", "cut.png", false},
        {"in.png", "text.png", false},
        {"in.png", "missing.png", false},
        {"in.png", "folder.png", false},
        {"unreadable-input.png", "same.png", true},
        {"unreadable-input.png", "text.png", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            OutputIsEnlarged(folder + QLatin1String(c.input), folder + QLatin1String(c.output)),
            c.enlarged)
            << c.input << " -> " << c.output;
}

TEST(UniqueFileNameTest, CountsUpFromTheFirstBaseAndTreatsAnyEntryAsTaken)
{
    const QString folder = testenv::NewFolder() + QLatin1Char('/');
    for (const char* name : {"a.png", "a (2).png", "b.tar.gz", "noext"})
        testenv::WriteFile(folder + QLatin1String(name), "x");
    QDir().mkpath(folder + QStringLiteral("dir.png"));

    struct Case {
        const char* path;
        const char* unique;
    } cases[] = {
        {"free.png", "free.png"}, {"a.png", "a (3).png"},     {"b.tar.gz", "b.tar (2).gz"},
        {"noext", "noext (2)"},   {"dir.png", "dir (2).png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UniqueFileName(folder + QLatin1String(c.path)), folder + QLatin1String(c.unique));
}

class PlacementTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedData_ = qgetenv("XDG_DATA_HOME");
        trash_ = testenv::NewFolder(QStringLiteral("data")) + QStringLiteral("/Trash");
        qputenv("XDG_DATA_HOME", QFile::encodeName(QFileInfo(trash_).absolutePath()));
        folder = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        original = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
        originalBytes = testenv::ReadFile(original);
        enlarged = testenv::WriteImage(
            testenv::NewFolder(QStringLiteral("tmp")) + QStringLiteral("/up.png"), 32, 32);
        enlargedBytes = testenv::ReadFile(enlarged);
    }
    void TearDown() override
    {
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        qputenv("XDG_DATA_HOME", savedData_);
    }

    QByteArray savedData_;
    QString trash_;
    QString folder, original, enlarged;
    QByteArray originalBytes, enlargedBytes;
};

TEST_F(PlacementTest, ReplacingKeepsPermissionsAndPutsTheOriginalInTheTrash)
{
    setMode(original, 0640);

    const TPlacement placed = ReplaceOriginal(original, enlarged, TDisposal::RecycleBin);

    ASSERT_TRUE(placed.ok) << placed.reason.toStdString();
    EXPECT_EQ(placed.target, original);
    EXPECT_EQ(testenv::ReadFile(original), enlargedBytes);
    struct stat st {
    };
    ASSERT_EQ(::stat(QFile::encodeName(original).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(testenv::ReadFile(trash_ + QStringLiteral("/files/a.png")), originalBytes);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("a.png")});
    EXPECT_EQ(testenv::ReadFile(enlarged), enlargedBytes); // the temporary output is the caller's
}

TEST_F(PlacementTest, DeletingPermanentlyReplacesInOneStepWithoutTrash)
{
    const TPlacement placed = ReplaceOriginal(original, enlarged, TDisposal::DeletePermanently);

    ASSERT_TRUE(placed.ok) << placed.reason.toStdString();
    EXPECT_EQ(testenv::ReadFile(original), enlargedBytes);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("a.png")});
    EXPECT_FALSE(QFileInfo::exists(trash_ + QStringLiteral("/files/a.png")));
}

TEST_F(PlacementTest, AnyFailureLeavesTheOriginalAndNoStrayFile)
{
    // Read-only folder: nothing can be written beside the original.
    setMode(folder, 0555);
    for (TDisposal disposal : {TDisposal::RecycleBin, TDisposal::DeletePermanently}) {
        const TPlacement placed = ReplaceOriginal(original, enlarged, disposal);
        EXPECT_FALSE(placed.ok);
        EXPECT_FALSE(placed.reason.isEmpty());
    }
    const TPlacement copy = PlaceCopy(folder, original, enlarged);
    EXPECT_FALSE(copy.ok);
    setMode(folder, 0755);
    EXPECT_EQ(testenv::ReadFile(original), originalBytes);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("a.png")});

    // A trash that cannot be made (its place is taken by a file): the original stays, the copy
    // made for it is removed again.
    QDir().mkpath(QFileInfo(trash_).absolutePath());
    testenv::WriteFile(trash_, "not a folder");
    const TPlacement placed = ReplaceOriginal(original, enlarged, TDisposal::RecycleBin);
    EXPECT_FALSE(placed.ok);
    EXPECT_TRUE(placed.reason.contains(QStringLiteral("trash"))) << placed.reason.toStdString();
    EXPECT_EQ(testenv::ReadFile(original), originalBytes);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("a.png")});
}

TEST_F(PlacementTest, CopiesTakeTheNextFreeNameAndLeaveNoPartialFile)
{
    const QString destination = testenv::NewFolder(QStringLiteral("dest")) + QLatin1Char('/');
    testenv::WriteFile(destination + QStringLiteral("a.png"), "someone else's");

    const TPlacement first = PlaceCopy(destination, original, enlarged);
    const TPlacement second = PlaceCopy(destination, original, enlarged);

    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_EQ(first.target, destination + QStringLiteral("a (2).png"));
    EXPECT_EQ(second.target, destination + QStringLiteral("a (3).png"));
    EXPECT_EQ(testenv::ReadFile(destination + QStringLiteral("a.png")), "someone else's");
    EXPECT_EQ(testenv::ReadFile(first.target), enlargedBytes);
    EXPECT_EQ(testenv::FolderEntries(destination),
              (QStringList{QStringLiteral("a (2).png"), QStringLiteral("a (3).png"),
                           QStringLiteral("a.png")}));
    EXPECT_EQ(testenv::ReadFile(original), originalBytes);
}

} // namespace

namespace
{

struct StopHere {
};

// The names a folder holds, hidden ones included, and the trash's entries by kind.
QStringList trashEntries(const QString& trash, const char* kind)
{
    return testenv::FolderEntries(trash + QLatin1Char('/') + QLatin1String(kind));
}

} // namespace

// A kill right before any step of a placement, for every step: the original's name holds the
// original or the complete enlarged image at once, and the next start's recovery leaves no
// leftover and a trash whose records and files match.
TEST_F(PlacementTest, AKillBeforeAnyStepLeavesTheNameWholeAndRecoveryTidiesUp)
{
    enum Way { Recycle, Delete, Copy };
    for (Way way : {Recycle, Delete, Copy}) {
        int steps = 0;
        for (int stopAt = 1;; ++stopAt) {
            SCOPED_TRACE(testing::Message() << "way " << way << ", stopped before step " << stopAt);
            QDir(trash_).removeRecursively();
            QDir(folder).removeRecursively();
            testenv::WriteFile(original, originalBytes);
            int step = 0;
            platform::SetFileStepHookForTesting([&] {
                if (++step == stopAt)
                    throw StopHere{};
            });
            bool stopped = false;
            try {
                if (way == Copy)
                    PlaceCopy(folder, original, enlarged);
                else
                    ReplaceOriginal(original, enlarged,
                                    way == Recycle ? TDisposal::RecycleBin
                                                   : TDisposal::DeletePermanently);
            } catch (const StopHere&) {
                stopped = true;
            }
            platform::SetFileStepHookForTesting(nullptr);
            const QByteArray atTheKill = testenv::ReadFile(original);
            EXPECT_TRUE(atTheKill == originalBytes || atTheKill == enlargedBytes);

            TPlacementJournal::Recover(TPlacementJournal::Folder());

            const QByteArray after = testenv::ReadFile(original);
            EXPECT_TRUE(after == originalBytes || after == enlargedBytes);
            QStringList expected{QStringLiteral("a.png")};
            if (way == Copy && QFileInfo::exists(folder + QStringLiteral("a (2).png"))) {
                expected.prepend(QStringLiteral("a (2).png"));
                EXPECT_EQ(testenv::ReadFile(folder + QStringLiteral("a (2).png")), enlargedBytes);
            }
            EXPECT_EQ(testenv::FolderEntries(folder), expected) << "no leftover beside it";
            QStringList records;
            for (const QString& info : trashEntries(trash_, "info"))
                records << info.chopped(QStringLiteral(".trashinfo").size());
            EXPECT_EQ(records, trashEntries(trash_, "files")) << "every record has its file";
            // An original that gave up its name is in the trash, whole.
            const bool replaced = way != Copy && after == enlargedBytes;
            EXPECT_EQ(testenv::ReadFile(trash_ + QStringLiteral("/files/a.png")),
                      replaced && way == Recycle ? originalBytes : QByteArray());
            EXPECT_TRUE(testenv::FolderEntries(TPlacementJournal::Folder()).isEmpty());
            if (!stopped) {
                EXPECT_TRUE(after == (way == Copy ? originalBytes : enlargedBytes));
                steps = stopAt - 1;
                break;
            }
        }
        EXPECT_GE(steps, way == Copy ? 3 : 5) << "every step was tried";
    }
}

// A copy of a name near the file-name limit still fits: the stem gives way to " (n)".
TEST_F(PlacementTest, CopiesOfALongNameFitTheFileNameLimit)
{
    // 125 two-byte letters and ".png": 254 bytes, so " (2)" would not fit as it is.
    const QString longName = QString(125, QChar(0x00e9)) + QStringLiteral(".png");
    ASSERT_EQ(QFile::encodeName(longName).size(), 254);
    const QString longOriginal = testenv::WriteImage(folder + longName, 8, 8);

    for (const char* expectedTail : {" (2).png", " (3).png"}) {
        SCOPED_TRACE(expectedTail);
        const TPlacement placed = PlaceCopy(folder, longOriginal, enlarged);
        ASSERT_TRUE(placed.ok) << placed.reason.toStdString();
        const QString placedName = QFileInfo(placed.target).fileName();
        EXPECT_TRUE(placedName.endsWith(QLatin1String(expectedTail)));
        EXPECT_LE(QFile::encodeName(placedName).size(), 255);
        EXPECT_TRUE(placedName.startsWith(QString(120, QChar(0x00e9))))
            << "cut on a character boundary, not inside one";
        EXPECT_EQ(testenv::ReadFile(placed.target), enlargedBytes);
    }
}
