#include "app/batchcontroller.h"
#include "support/testenv.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace
{

// A folder the test process may read but not write into, writable again when the test ends.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString& path) : path_(path) { setMode(0555); }
    ~ReadOnlyFolder() { setMode(0755); }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    void setMode(mode_t mode) { ::chmod(QFile::encodeName(path_).constData(), mode); }
    QString path_;
};

TOptionChoices copiesTo(const QString& folder)
{
    TOptionChoices choices;
    choices.besideOriginals = false;
    choices.destinationFolder = folder;
    return choices;
}

TEST(CheckStart, RefusesWhatCannotRunAndMakesAMissingDestination)
{
    const QString upscaler = testenv::NewFolder(QStringLiteral("upscaler")) + QLatin1Char('/');
    testenv::LayOutUpscalerFolder(upscaler, QStringLiteral(GRANDORA_FAKE_UPSCALER));
    const QString noArtwork = testenv::NewFolder(QStringLiteral("upscaler")) + QLatin1Char('/');
    testenv::LayOutUpscalerFolder(noArtwork, QStringLiteral(GRANDORA_FAKE_UPSCALER));
    QFile::remove(noArtwork + QStringLiteral("models/realesrgan-x4plus-anime.param"));
    QFile::remove(noArtwork + QStringLiteral("models/realesrgan-x4plus-anime.bin"));

    const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
    const TImageEntry waiting{photos + QStringLiteral("a.png"), {}, false, {}};
    const TImageEntry enlarged{
        photos + QStringLiteral("b.png"), QStringLiteral("Completed"), true, {}};
    const QString locked = testenv::NewFolder(QStringLiteral("locked"));
    const ReadOnlyFolder lockedGuard(locked);
    const QString creatable = testenv::NewFolder(QStringLiteral("out")) + QStringLiteral("/x/y");
    TOptionChoices replace = copiesTo(locked + QStringLiteral("/never"));
    replace.action = TAction::ResizeOriginal;
    const QString notMade = testenv::NewFolder(QStringLiteral("out")) + QStringLiteral("/made");
    TOptionChoices badName = copiesTo(notMade);
    badName.copyName = QStringLiteral("big/{name}");
    TOptionChoices replaceBadName = replace;
    replaceBadName.copyName = QString();

    const QString noDirectory = QStringLiteral("Directory does not exist!");
    const struct {
        const char* name;
        TImageEntries entries;
        TOptionChoices choices;
        QString upscaler;
        TStartRefusal refusal;
        QString message;
    } cases[] = {
        {"no images",
         {},
         {},
         upscaler,
         TStartRefusal::NoImages,
         QStringLiteral("No image files have been added!")},
        {"every image enlarged",
         {enlarged, enlarged},
         {},
         upscaler,
         TStartRefusal::AllEnlarged,
         QStringLiteral("Every image in the list has been enlarged already.")},
        {"one image left", {enlarged, waiting}, {}, upscaler, TStartRefusal::None, {}},
        {"copies to a folder that can be made",
         {waiting},
         copiesTo(creatable),
         upscaler,
         TStartRefusal::None,
         {}},
        {"copies to an emptied folder box",
         {waiting},
         copiesTo({}),
         upscaler,
         TStartRefusal::NoDestination,
         noDirectory},
        {"copies to a folder that cannot be made",
         {waiting},
         copiesTo(locked + QStringLiteral("/new/deeper")),
         upscaler,
         TStartRefusal::NoDestination,
         noDirectory},
        {"copies to a folder that cannot be written",
         {waiting},
         copiesTo(locked),
         upscaler,
         TStartRefusal::DestinationNotWritable,
         QStringLiteral("Unable to write to directory!")},
        {"the image type's model missing",
         {waiting},
         {},
         noArtwork,
         TStartRefusal::ModelMissing,
         QStringLiteral("The model of this image type is missing: realesrgan-x4plus-anime.param, "
                        "realesrgan-x4plus-anime.bin. Its files belong in the folder ") +
             noArtwork + QStringLiteral("models/")},
        {"replacing, whatever the destination says",
         {waiting},
         replace,
         upscaler,
         TStartRefusal::None,
         {}},
        {"a copy name that leads into a folder",
         {waiting},
         badName,
         upscaler,
         TStartRefusal::BadCopyName,
         QStringLiteral("The copy name \"big/{name}\" contains \"/\", which separates folders.")},
        {"replacing, whatever the copy name says",
         {waiting},
         replaceBadName,
         upscaler,
         TStartRefusal::None,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TStartCheck check = CheckStart(c.entries, c.choices, c.upscaler);
        EXPECT_EQ(check.refusal, c.refusal);
        EXPECT_EQ(check.message, c.message);
    }
    EXPECT_TRUE(QFileInfo(creatable).isDir());
    EXPECT_FALSE(QFileInfo::exists(locked + QStringLiteral("/never")));
    EXPECT_FALSE(QFileInfo::exists(notMade));
}

// A file the check refused is no work for the upscaler, yet it is not enlarged: Start goes ahead
// and counts it failed, and only a list that is all enlarged is refused.
TEST(CheckStart, FilesTheCheckRefusedAreNotEnlarged)
{
    const QString upscaler = testenv::NewFolder(QStringLiteral("upscaler")) + QLatin1Char('/');
    testenv::LayOutUpscalerFolder(upscaler, QStringLiteral(GRANDORA_FAKE_UPSCALER));
    TImageEntry missing{QStringLiteral("/gone/a.png"), {}, false, {}};
    missing.check = TFileCheck::Missing;
    TImageEntry notImage{QStringLiteral("/p/b.png"), {}, false, {}};
    notImage.check = TFileCheck::NotAnImage;
    const TImageEntry enlarged{QStringLiteral("/p/c.png"), QStringLiteral("Completed"), true, {}};
    const struct {
        const char* name;
        TImageEntries entries;
        TStartRefusal refusal;
    } cases[] = {
        {"only refused files", {missing, notImage}, TStartRefusal::None},
        {"enlarged and refused", {enlarged, missing}, TStartRefusal::None},
        {"all enlarged", {enlarged}, TStartRefusal::AllEnlarged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckStart(c.entries, TOptionChoices(), upscaler).refusal, c.refusal);
    }
}

TEST(ResultsFolderOf, IsTheFirstImagesFolderUnlessCopiesWentIntoAFolder)
{
    const TImageEntries two{{QStringLiteral("/photos/trip/a.png"), {}, false, {}},
                            {QStringLiteral("/photos/home/b.png"), {}, false, {}}};
    const auto options = [](TAction action, const QString& destination) {
        TBatchOptions options;
        options.action = action;
        options.destination = destination;
        return options;
    };
    const struct {
        const char* name;
        TImageEntries entries;
        TBatchOptions options;
        QString expected;
    } cases[] = {
        {"replaced", two, options(TAction::ResizeOriginal, QStringLiteral("/out")),
         QStringLiteral("/photos/trip")},
        {"copies beside", two, options(TAction::CreateCopies, {}), QStringLiteral("/photos/trip")},
        {"copies into a folder", two, options(TAction::CreateCopies, QStringLiteral("/out")),
         QStringLiteral("/out")},
        {"no images", {}, options(TAction::CreateCopies, {}), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ResultsFolderOf(c.entries, c.options), c.expected);
    }
}

} // namespace
