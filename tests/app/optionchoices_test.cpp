#include "app/optionchoices.h"
#include "batch/batchoptions.h"
#include "support/testenv.h"

#include <QMap>
#include <gtest/gtest.h>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>

namespace
{

constexpr TChoiceField allFields[] = {TChoiceField::ImageType,
                                      TChoiceField::Action,
                                      TChoiceField::Destination,
                                      TChoiceField::Disposal,
                                      TChoiceField::Scale,
                                      TChoiceField::OutputFormat,
                                      TChoiceField::JpegQuality,
                                      TChoiceField::Speed,
                                      TChoiceField::Engine,
                                      TChoiceField::KeepMetadata,
                                      TChoiceField::KeepFolderStructure,
                                      TChoiceField::CopyName,
                                      TChoiceField::WhenNameTaken};

} // namespace

// Readable failure messages: every choice, as settings.ini would keep it.
void PrintTo(const TOptionChoices& choices, std::ostream* out)
{
    *out << "{beside " << choices.besideOriginals;
    for (const TChoiceField field : allFields) {
        const auto [key, value] = StoredChoice(choices, field);
        *out << ", " << key.toStdString() << '=' << value.toStdString();
    }
    *out << '}';
}

namespace
{

using TStored = QMap<QString, QString>;

TStored settingsOf(std::initializer_list<std::pair<const char*, const char*>> values)
{
    TStored result;
    for (const auto& [key, value] : values)
        result.insert(QLatin1String(key), QString::fromUtf8(value));
    return result;
}

std::string describe(const TStored& stored)
{
    std::string text;
    for (auto at = stored.begin(); at != stored.end(); ++at)
        text += at.key().toStdString() + '=' + at.value().toStdString() + ' ';
    return text;
}

TStored storedFor(const TOptionChoices& choices)
{
    TStored result;
    for (const TChoiceField field : allFields) {
        const auto [key, value] = StoredChoice(choices, field);
        result.insert(key, value);
    }
    return result;
}

TOptionChoices load(const TStored& stored, const QString& upscalerFolder)
{
    return LoadChoices([&stored](const QString& key) { return stored.value(key); }, upscalerFolder);
}

// An upscaler folder that holds exactly the models named.
QString upscalerWith(std::initializer_list<std::pair<TImageType, TSpeed>> models)
{
    const QString folder = testenv::NewFolder(QStringLiteral("upscaler")) + QLatin1Char('/');
    for (const auto& [type, speed] : models) {
        for (const QString& file : MissingModelFiles(folder, type, speed))
            testenv::WriteFile(file, "model");
    }
    return folder;
}

constexpr std::pair<TImageType, TSpeed> artwork{TImageType::Artwork, TSpeed::BestQuality};
constexpr std::pair<TImageType, TSpeed> photo{TImageType::Photo, TSpeed::BestQuality};
constexpr std::pair<TImageType, TSpeed> fastArtwork{TImageType::Artwork, TSpeed::Fast};
constexpr std::pair<TImageType, TSpeed> fastPhoto{TImageType::Photo, TSpeed::Fast};

TEST(OptionRules, FollowTheActionTheFormatAndTheInstalledModels)
{
    constexpr auto Copies = TAction::CreateCopies;
    constexpr auto Replace = TAction::ResizeOriginal;
    constexpr auto Best = TSpeed::BestQuality;
    constexpr auto Fast = TSpeed::Fast;
    const struct {
        TAction action;
        TOutputFormat format;
        bool fastInstalled;
        TSpeed chosen;
        bool disposalShown, destinationEnabled, formatEnabled, qualityEnabled, fastOffered;
        TSpeed shown;
    } cases[] = {
        {Copies, TOutputFormat::SameAsOriginal, true, Best, false, true, true, false, true, Best},
        {Copies, TOutputFormat::Jpeg, true, Fast, false, true, true, true, true, Fast},
        {Copies, TOutputFormat::Png, false, Fast, false, true, true, false, false, Best},
        {Copies, TOutputFormat::WebP, false, Best, false, true, true, false, false, Best},
        {Copies, TOutputFormat::Jpeg, false, Best, false, true, true, true, false, Best},
        // A replaced original keeps its own format, so JPEG's quality has nothing to set.
        {Replace, TOutputFormat::Jpeg, true, Fast, true, false, false, false, true, Fast},
        {Replace, TOutputFormat::SameAsOriginal, false, Fast, true, false, false, false, false,
         Best},
        {Replace, TOutputFormat::Png, true, Best, true, false, false, false, true, Best},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "action " << int(c.action) << ", format " << int(c.format)
                     << ", fast installed " << c.fastInstalled << ", chosen " << int(c.chosen));
        TOptionChoices choices;
        choices.action = c.action;
        choices.outputFormat = c.format;
        choices.speed = c.chosen;
        const TOptionRules rules = OptionRulesOf(choices, c.fastInstalled);
        EXPECT_EQ(rules.disposalShown, c.disposalShown);
        EXPECT_EQ(rules.destinationEnabled, c.destinationEnabled);
        EXPECT_EQ(rules.formatEnabled, c.formatEnabled);
        EXPECT_EQ(rules.qualityEnabled, c.qualityEnabled);
        EXPECT_EQ(rules.fastOffered, c.fastOffered);
        EXPECT_EQ(rules.shownSpeed, c.shown);
    }
}

// Keeping the tree needs a destination folder to keep it in; naming and the name-taken choice
// belong to copies, wherever they go.
TEST(OptionRules, FolderStructureNeedsADestinationAndNamingNeedsCopies)
{
    const struct {
        TAction action;
        bool beside;
        bool structureEnabled, namingEnabled;
    } cases[] = {
        {TAction::CreateCopies, false, true, true},
        {TAction::CreateCopies, true, false, true},
        {TAction::ResizeOriginal, false, false, false},
        {TAction::ResizeOriginal, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "action " << int(c.action) << ", beside " << c.beside);
        TOptionChoices choices;
        choices.action = c.action;
        choices.besideOriginals = c.beside;
        choices.destinationFolder = c.beside ? QString() : QStringLiteral("/tmp");
        const TOptionRules rules = OptionRulesOf(choices, true);
        EXPECT_EQ(rules.folderStructureEnabled, c.structureEnabled);
        EXPECT_EQ(rules.copyNamingEnabled, c.namingEnabled);
    }
}

// Going through an image type without a fast model shows the best quality but keeps Fast, in
// the choices and in settings.ini, for the next type that has one.
TEST(OptionRules, TheFastChoiceOutlastsATypeWithoutAFastModel)
{
    TOptionChoices choices;
    choices.speed = TSpeed::Fast;
    EXPECT_EQ(OptionRulesOf(choices, false).shownSpeed, TSpeed::BestQuality);
    EXPECT_EQ(StoredChoice(choices, TChoiceField::Speed).second, QStringLiteral("Fast"));
    EXPECT_EQ(load(storedFor(choices), upscalerWith({artwork, photo})).speed, TSpeed::Fast);
    EXPECT_EQ(OptionRulesOf(choices, true).shownSpeed, TSpeed::Fast);
}

// The names are settings.ini's: files written by earlier versions must keep reading the same.
// What is not installed says so where it is chosen: the missing files by name, and their folder.
TEST(ModelNotices, NameTheMissingFilesAndWhereTheyGo)
{
    const struct {
        const char* what;
        QString upscaler;
        TImageType type;
        const char* caption;
        const char* missing;     // in the image type's tooltip; nullptr: none
        const char* missingFast; // in Speed's tooltip; nullptr: none
    } cases[] = {
        {"all", upscalerWith({artwork, photo, fastArtwork, fastPhoto}), TImageType::Artwork,
         "Artwork", nullptr, nullptr},
        {"artwork without any model", upscalerWith({photo, fastPhoto}), TImageType::Artwork,
         "Artwork (model not installed)",
         "realesrgan-x4plus-anime.param, "
         "realesrgan-x4plus-anime.bin",
         "realesr-animevideov3-x4.param, realesr-animevideov3-x4.bin"},
        {"artwork without its fast model", upscalerWith({artwork, photo}), TImageType::Artwork,
         "Artwork", nullptr, "realesr-animevideov3-x4.param, realesr-animevideov3-x4.bin"},
        {"photo without its model", upscalerWith({artwork, fastPhoto}), TImageType::Photo,
         "Photo (model not installed)", "realesrgan-x4plus.param, realesrgan-x4plus.bin", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = ModelFolder(c.upscaler);
        const TImageTypeItem item = ImageTypeItemOf(c.type, c.upscaler);
        EXPECT_EQ(item.caption, QLatin1String(c.caption));
        EXPECT_EQ(item.toolTip,
                  c.missing ? QStringLiteral("The model of this image type is missing: ") +
                                  QLatin1String(c.missing) +
                                  QStringLiteral(". Its files belong in the folder ") + folder
                            : QString());
        EXPECT_EQ(NoFastModelTip(c.type, 4, c.upscaler),
                  c.missingFast
                      ? QStringLiteral("No fast model is installed for this image type: ") +
                            QLatin1String(c.missingFast) +
                            QStringLiteral(". Its files belong in the folder ") + folder
                      : QString());
    }
    // The fast Artwork model comes for each scale; only the 4x one is laid out here.
    const QString upscaler = upscalerWith({artwork, fastArtwork});
    EXPECT_TRUE(NoFastModelTip(TImageType::Artwork, 3, upscaler)
                    .contains(QLatin1String("realesr-animevideov3-x3.param, "
                                            "realesr-animevideov3-x3.bin")));
    EXPECT_TRUE(NoFastModelTip(TImageType::Photo, 3, upscalerWith({photo, fastPhoto})).isEmpty());
}

TEST(StoredChoices, EachFieldHasItsOwnKeyAndLanguageFreeNames)
{
    const QString folder = testenv::NewFolder(QStringLiteral("dest"));
    const TStored defaults = settingsOf({{"Model", "Artwork"},
                                         {"Action", "CreateCopies"},
                                         {"Destination", ""},
                                         {"OriginalFiles", "SendToRecycleBin"},
                                         {"Scale", "4"},
                                         {"OutputFormat", "Same"},
                                         {"JpegQuality", "90"},
                                         {"Speed", "Best"},
                                         {"Engine", "Automatic"},
                                         {"KeepMetadata", "1"},
                                         {"KeepFolderStructure", "true"},
                                         {"CopyName", "{name}"},
                                         {"WhenNameTaken", "AddNumber"}});
    EXPECT_EQ(storedFor(TOptionChoices()), defaults);
    TStored others = settingsOf({{"Model", "Photo"},
                                 {"Action", "ResizeOriginal"},
                                 {"OriginalFiles", "DeletePermanently"},
                                 {"Scale", "2"},
                                 {"OutputFormat", "PNG"},
                                 {"JpegQuality", "1"},
                                 {"Speed", "Fast"},
                                 {"Engine", "BuiltIn"},
                                 {"KeepMetadata", "0"},
                                 {"KeepFolderStructure", "false"},
                                 {"CopyName", "{name} x{scale}"},
                                 {"WhenNameTaken", "Skip"}});
    others.insert(QStringLiteral("Destination"), folder);
    EXPECT_EQ(storedFor({.imageType = TImageType::Photo,
                         .action = TAction::ResizeOriginal,
                         .besideOriginals = false,
                         .destinationFolder = folder,
                         .disposal = TDisposal::DeletePermanently,
                         .scale = 2,
                         .outputFormat = TOutputFormat::Png,
                         .jpegQuality = 1,
                         .speed = TSpeed::Fast,
                         .engine = TEngine::BuiltIn,
                         .keepMetadata = false,
                         .keepFolderStructure = false,
                         .copyName = QStringLiteral("{name} x{scale}"),
                         .whenNameTaken = TNameTaken::Skip}),
              others);
}

TEST(StoredChoices, EveryChoiceReadsBackAsItWasStored)
{
    const QString upscaler = upscalerWith({artwork, photo});
    const QString folder = testenv::NewFolder(QStringLiteral("dest"));
    const TOptionChoices cases[] = {
        {},
        {.imageType = TImageType::Photo,
         .action = TAction::ResizeOriginal,
         .besideOriginals = false,
         .destinationFolder = folder,
         .disposal = TDisposal::DeletePermanently,
         .scale = 2,
         .outputFormat = TOutputFormat::Png,
         .jpegQuality = 1,
         .speed = TSpeed::Fast,
         .engine = TEngine::BuiltIn,
         .keepMetadata = false,
         .keepFolderStructure = false,
         .copyName = QStringLiteral("{model}-{type}_{name}"),
         .whenNameTaken = TNameTaken::Replace},
        {.besideOriginals = false,
         .destinationFolder = folder,
         .scale = 3,
         .outputFormat = TOutputFormat::WebP,
         .jpegQuality = 100,
         .engine = TEngine::Upscaler},
        {.imageType = TImageType::Photo,
         .destinationFolder = QString(),
         .outputFormat = TOutputFormat::Jpeg,
         .jpegQuality = 57,
         .speed = TSpeed::Fast,
         .keepMetadata = false,
         .whenNameTaken = TNameTaken::Skip},
    };
    for (const TOptionChoices& choices : cases) {
        SCOPED_TRACE(testing::PrintToString(choices));
        EXPECT_EQ(load(storedFor(choices), upscaler), choices);
    }
}

// A value that names no item, or a quality out of range, leaves the default; names are matched
// as written.
TEST(StoredChoices, ValuesThatNameNothingGiveTheDefaults)
{
    const QString upscaler = upscalerWith({artwork, photo});
    const TStored cases[] = {
        {},
        settingsOf({{"Model", "photo"},
                    {"Action", "Something"},
                    {"OriginalFiles", "Other"},
                    {"Scale", "5"},
                    {"OutputFormat", "jpeg"},
                    {"JpegQuality", "0"},
                    {"Speed", "fast"},
                    {"Engine", "builtin"},
                    {"KeepMetadata", "no"},
                    {"KeepFolderStructure", "True"},
                    {"CopyName", ""},
                    {"WhenNameTaken", "skip"}}),
        settingsOf({{"Action", "resizeoriginal"},
                    {"OriginalFiles", "deletepermanently"},
                    {"Scale", "4x"},
                    {"OutputFormat", "Gif"},
                    {"JpegQuality", "101"},
                    {"Speed", "Quick"},
                    {"Engine", "Vulkan"},
                    {"KeepMetadata", "2"},
                    {"KeepFolderStructure", "0"},
                    {"WhenNameTaken", "Overwrite"}}),
        settingsOf({{"Model", ""},
                    {"Scale", "1"},
                    {"OutputFormat", ""},
                    {"JpegQuality", "9x"},
                    {"Speed", ""},
                    {"KeepMetadata", ""}}),
        settingsOf({{"Scale", ""}, {"JpegQuality", "-5"}, {"Engine", " Automatic"}}),
    };
    for (const TStored& values : cases) {
        SCOPED_TRACE(describe(values));
        EXPECT_EQ(load(values, upscaler), TOptionChoices());
    }
}

// Only a folder that is there counts as a destination: a folder that has gone, a file, and the
// captions that earlier versions kept for "beside the originals" all read as beside.
TEST(StoredChoices, ADestinationThatIsNoFolderReadsAsBeside)
{
    const QString upscaler = upscalerWith({artwork, photo});
    const QString folder = testenv::NewFolder(QStringLiteral("dest"));
    const QString file = folder + QStringLiteral("/image.png");
    testenv::WriteFile(file, "x");
    const struct {
        QString stored;
        bool beside;
    } cases[] = {
        {folder, false},
        {QString(), true},
        {folder + QStringLiteral("/gone"), true},
        {file, true},
        {QStringLiteral("Same Folder as Original"), true},
        {QStringLiteral("Gleicher Ordner wie das Original"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        const TOptionChoices choices = load({{QStringLiteral("Destination"), c.stored}}, upscaler);
        EXPECT_EQ(choices.besideOriginals, c.beside);
        EXPECT_EQ(choices.destinationFolder, c.beside ? QString() : c.stored);
    }
}

// A new user starts with an image type whose model is there; a stored type is kept whatever is
// installed.
TEST(StoredChoices, TheFirstImageTypeFollowsTheInstalledModels)
{
    const struct {
        const char* what;
        QString upscaler;
        QString stored;
        TImageType expected;
    } cases[] = {
        {"both", upscalerWith({artwork, photo}), QString(), TImageType::Artwork},
        {"photo only", upscalerWith({photo}), QString(), TImageType::Photo},
        {"artwork only", upscalerWith({artwork}), QString(), TImageType::Artwork},
        {"none", upscalerWith({}), QString(), TImageType::Artwork},
        {"only photo's fast model", upscalerWith({fastPhoto}), QString(), TImageType::Artwork},
        {"photo only, artwork stored", upscalerWith({photo}), QStringLiteral("Artwork"),
         TImageType::Artwork},
        {"artwork only, photo stored", upscalerWith({artwork}), QStringLiteral("Photo"),
         TImageType::Photo},
        {"photo only, nothing named", upscalerWith({photo}), QStringLiteral("Painting"),
         TImageType::Photo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TStored values;
        if (!c.stored.isNull())
            values.insert(QStringLiteral("Model"), c.stored);
        EXPECT_EQ(load(values, c.upscaler).imageType, c.expected);
    }
}

TEST(BatchOptions, CarryEveryChoiceAndTheUpscalerFolder)
{
    const QString upscaler = upscalerWith({artwork, photo, fastPhoto});
    const QString folder = testenv::NewFolder(QStringLiteral("dest"));
    const TOptionChoices choices{.imageType = TImageType::Photo,
                                 .action = TAction::ResizeOriginal,
                                 .besideOriginals = false,
                                 .destinationFolder = folder,
                                 .disposal = TDisposal::DeletePermanently,
                                 .scale = 3,
                                 .outputFormat = TOutputFormat::WebP,
                                 .jpegQuality = 42,
                                 .speed = TSpeed::Fast,
                                 .engine = TEngine::Automatic,
                                 .keepMetadata = false,
                                 .keepFolderStructure = false,
                                 .copyName = QStringLiteral("{name}-{scale}"),
                                 .whenNameTaken = TNameTaken::Replace};
    const TBatchOptions options = BatchOptionsOf(choices, upscaler);
    EXPECT_EQ(options.imageType, TImageType::Photo);
    EXPECT_EQ(options.action, TAction::ResizeOriginal);
    EXPECT_EQ(options.disposal, TDisposal::DeletePermanently);
    EXPECT_EQ(options.destination, folder);
    EXPECT_EQ(options.upscalerFolder, upscaler);
    EXPECT_EQ(options.scale, 3);
    EXPECT_EQ(options.outputFormat, TOutputFormat::WebP);
    EXPECT_EQ(options.jpegQuality, 42);
    EXPECT_EQ(options.speed, TSpeed::Fast);
    // A batch left to itself takes the upscaler; the page's default leaves the choice open.
    EXPECT_EQ(options.engine, TEngine::Automatic);
    EXPECT_FALSE(options.keepMetadata);
    EXPECT_FALSE(options.keepFolderStructure);
    EXPECT_EQ(options.copyName, QStringLiteral("{name}-{scale}"));
    EXPECT_EQ(options.whenNameTaken, TNameTaken::Replace);
}

// Beside the originals is no destination, whatever folder the box held before.
TEST(BatchOptions, BesideTheOriginalsGivesNoDestination)
{
    const QString upscaler = upscalerWith({artwork, photo});
    TOptionChoices choices;
    choices.destinationFolder = QStringLiteral("/left/over");
    EXPECT_EQ(BatchOptionsOf(choices, upscaler).destination, QString());
    choices.besideOriginals = false;
    EXPECT_EQ(BatchOptionsOf(choices, upscaler).destination, QStringLiteral("/left/over"));
}

// Fast is handed on only where the type's fast model is there when the batch starts; one that has
// gone since it was chosen gives the best quality.
TEST(BatchOptions, FastOnlyWhereTheFastModelIsInstalled)
{
    const struct {
        const char* what;
        TImageType type;
        TSpeed chosen;
        QString upscaler;
        TSpeed expected;
    } cases[] = {
        {"photo, fast", TImageType::Photo, TSpeed::Fast, upscalerWith({photo, fastPhoto}),
         TSpeed::Fast},
        {"photo, best", TImageType::Photo, TSpeed::BestQuality, upscalerWith({photo, fastPhoto}),
         TSpeed::BestQuality},
        {"photo, fast, none there", TImageType::Photo, TSpeed::Fast, upscalerWith({photo}),
         TSpeed::BestQuality},
        {"artwork, fast, photo's only", TImageType::Artwork, TSpeed::Fast,
         upscalerWith({artwork, fastPhoto}), TSpeed::BestQuality},
        {"artwork, fast", TImageType::Artwork, TSpeed::Fast, upscalerWith({artwork, fastArtwork}),
         TSpeed::Fast},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TOptionChoices choices;
        choices.imageType = c.type;
        choices.speed = c.chosen;
        EXPECT_EQ(BatchOptionsOf(choices, c.upscaler).speed, c.expected);
    }
}

} // namespace
