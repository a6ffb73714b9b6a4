#include "optionchoices.h"

#include "i18n/translation.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <iterator>

namespace
{

// What settings.ini keeps for each choice: names that no language changes.
const QStringList scaleNames = {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")};
constexpr int scales[] = {2, 3, 4};
const QStringList formatNames = {QStringLiteral("Same"), QStringLiteral("PNG"),
                                 QStringLiteral("JPEG"), QStringLiteral("WebP")};
constexpr TOutputFormat formats[] = {TOutputFormat::SameAsOriginal, TOutputFormat::Png,
                                     TOutputFormat::Jpeg, TOutputFormat::WebP};
const QStringList speedNames = {QStringLiteral("Best"), QStringLiteral("Fast")};
constexpr TSpeed speeds[] = {TSpeed::BestQuality, TSpeed::Fast};
const QStringList engineNames = {QStringLiteral("Automatic"), QStringLiteral("BuiltIn"),
                                 QStringLiteral("Upscaler")};
constexpr TEngine engines[] = {TEngine::Automatic, TEngine::BuiltIn, TEngine::Upscaler};
const QStringList nameTakenNames = {QStringLiteral("AddNumber"), QStringLiteral("Skip"),
                                    QStringLiteral("Replace")};
constexpr TNameTaken nameTakenChoices[] = {TNameTaken::AddNumber, TNameTaken::Skip,
                                           TNameTaken::Replace};

// The value that `stored` names among `names`, or `value` unchanged.
template <typename T, size_t N>
void readNamed(const QString& stored, const QStringList& names, const T (&values)[N], T& value)
{
    const qsizetype at = names.indexOf(stored);
    if (at >= 0 && at < static_cast<qsizetype>(N))
        value = values[at];
}

template <typename T, size_t N>
QString nameOf(T value, const QStringList& names, const T (&values)[N])
{
    return names.value(static_cast<qsizetype>(
        std::find(std::begin(values), std::end(values), value) - std::begin(values)));
}

// The names of `files`, for a text that names the folder once.
QString fileNames(const QStringList& files)
{
    QStringList names;
    for (const QString& file : files)
        names << QFileInfo(file).fileName();
    return names.join(QStringLiteral(", "));
}

} // namespace

TOptionChoices LoadChoices(const std::function<QString(const QString&)>& read,
                           const QString& upscalerFolder)
{
    TOptionChoices choices;
    if (const std::optional<TImageType> type =
            ImageTypeFromSetting(read(QStringLiteral("Model")), TranslationsInAllLanguages))
        choices.imageType = *type;
    else if (!MissingModelFiles(upscalerFolder, TImageType::Artwork).isEmpty() &&
             MissingModelFiles(upscalerFolder, TImageType::Photo).isEmpty())
        choices.imageType = TImageType::Photo;
    if (read(QStringLiteral("Action")) == QStringLiteral("ResizeOriginal"))
        choices.action = TAction::ResizeOriginal;
    // What was stored may be gone, or a caption that earlier versions stored for "beside".
    const QString destination = read(QStringLiteral("Destination"));
    if (!destination.isEmpty() && QFileInfo(destination).isDir()) {
        choices.besideOriginals = false;
        choices.destinationFolder = destination;
    }
    if (read(QStringLiteral("OriginalFiles")) == QStringLiteral("DeletePermanently"))
        choices.disposal = TDisposal::DeletePermanently;
    readNamed(read(QStringLiteral("Scale")), scaleNames, scales, choices.scale);
    readNamed(read(QStringLiteral("OutputFormat")), formatNames, formats, choices.outputFormat);
    bool number = false;
    const int quality = read(QStringLiteral("JpegQuality")).toInt(&number);
    if (number && quality >= 1 && quality <= 100)
        choices.jpegQuality = quality;
    readNamed(read(QStringLiteral("Speed")), speedNames, speeds, choices.speed);
    readNamed(read(QStringLiteral("Engine")), engineNames, engines, choices.engine);
    const QString keepMetadata = read(QStringLiteral("KeepMetadata"));
    if (keepMetadata == QStringLiteral("0") || keepMetadata == QStringLiteral("1"))
        choices.keepMetadata = keepMetadata == QStringLiteral("1");
    const QString keepFolders = read(QStringLiteral("KeepFolderStructure"));
    if (keepFolders == QStringLiteral("false") || keepFolders == QStringLiteral("true"))
        choices.keepFolderStructure = keepFolders == QStringLiteral("true");
    // Stored as typed, also a pattern Start would refuse: the user sees it and can mend it.
    if (const QString copyName = read(QStringLiteral("CopyName")); !copyName.isEmpty())
        choices.copyName = copyName;
    readNamed(read(QStringLiteral("WhenNameTaken")), nameTakenNames, nameTakenChoices,
              choices.whenNameTaken);
    return choices;
}

std::pair<QString, QString> StoredChoice(const TOptionChoices& choices, TChoiceField field)
{
    switch (field) {
    case TChoiceField::ImageType:
        return {QStringLiteral("Model"), ImageTypeSettingName(choices.imageType)};
    case TChoiceField::Action:
        return {QStringLiteral("Action"), choices.action == TAction::ResizeOriginal
                                              ? QStringLiteral("ResizeOriginal")
                                              : QStringLiteral("CreateCopies")};
    case TChoiceField::Destination:
        return {QStringLiteral("Destination"),
                choices.besideOriginals ? QString() : choices.destinationFolder};
    case TChoiceField::Disposal:
        return {QStringLiteral("OriginalFiles"), choices.disposal == TDisposal::DeletePermanently
                                                     ? QStringLiteral("DeletePermanently")
                                                     : QStringLiteral("SendToRecycleBin")};
    case TChoiceField::Scale:
        return {QStringLiteral("Scale"), nameOf(choices.scale, scaleNames, scales)};
    case TChoiceField::OutputFormat:
        return {QStringLiteral("OutputFormat"), nameOf(choices.outputFormat, formatNames, formats)};
    case TChoiceField::JpegQuality:
        return {QStringLiteral("JpegQuality"), QString::number(choices.jpegQuality)};
    case TChoiceField::Speed:
        return {QStringLiteral("Speed"), nameOf(choices.speed, speedNames, speeds)};
    case TChoiceField::Engine:
        return {QStringLiteral("Engine"), nameOf(choices.engine, engineNames, engines)};
    case TChoiceField::KeepMetadata:
        return {QStringLiteral("KeepMetadata"),
                choices.keepMetadata ? QStringLiteral("1") : QStringLiteral("0")};
    case TChoiceField::KeepFolderStructure:
        return {QStringLiteral("KeepFolderStructure"),
                choices.keepFolderStructure ? QStringLiteral("true") : QStringLiteral("false")};
    case TChoiceField::CopyName:
        return {QStringLiteral("CopyName"), choices.copyName};
    case TChoiceField::WhenNameTaken:
        return {QStringLiteral("WhenNameTaken"),
                nameOf(choices.whenNameTaken, nameTakenNames, nameTakenChoices)};
    }
    return {};
}

TOptionRules OptionRulesOf(const TOptionChoices& choices, bool fastModelInstalled)
{
    const bool copies = choices.action == TAction::CreateCopies;
    TOptionRules rules;
    rules.disposalShown = !copies;
    rules.destinationEnabled = copies;
    rules.formatEnabled = copies;
    rules.qualityEnabled = copies && choices.outputFormat == TOutputFormat::Jpeg;
    rules.fastOffered = fastModelInstalled;
    rules.folderStructureEnabled = copies && !choices.besideOriginals;
    rules.copyNamingEnabled = copies;
    rules.shownSpeed = fastModelInstalled ? choices.speed : TSpeed::BestQuality;
    return rules;
}

TBatchOptions BatchOptionsOf(const TOptionChoices& choices, const QString& upscalerFolder)
{
    TBatchOptions options;
    options.imageType = choices.imageType;
    options.action = choices.action;
    options.disposal = choices.disposal;
    if (!choices.besideOriginals)
        options.destination = choices.destinationFolder;
    options.upscalerFolder = upscalerFolder;
    options.scale = choices.scale;
    options.outputFormat = choices.outputFormat;
    options.jpegQuality = choices.jpegQuality;
    options.speed =
        OptionRulesOf(choices, FastModelInstalled(upscalerFolder, choices.imageType, choices.scale))
            .shownSpeed;
    options.keepMetadata = choices.keepMetadata;
    options.engine = choices.engine;
    options.keepFolderStructure = choices.keepFolderStructure;
    options.copyName = choices.copyName;
    options.whenNameTaken = choices.whenNameTaken;
    return options;
}

TImageTypeItem ImageTypeItemOf(TImageType type, const QString& upscalerFolder)
{
    const QString caption = TranslateText(type == TImageType::Artwork ? "Artwork" : "Photo");
    const QStringList missing = MissingModelFiles(upscalerFolder, type);
    if (missing.isEmpty())
        return {caption, QString()};
    return {FillTemplate(TranslateText("%s (model not installed)"), {caption}),
            FillTemplate(TranslateText("The model of this image type is missing: %s. Its files "
                                       "belong in the folder %s"),
                         {fileNames(missing), ModelFolder(upscalerFolder)})};
}

QString NoFastModelTip(TImageType type, int scale, const QString& upscalerFolder)
{
    const QStringList missing = MissingModelFiles(upscalerFolder, type, TSpeed::Fast, scale);
    if (missing.isEmpty())
        return QString();
    return FillTemplate(TranslateText("No fast model is installed for this image type: %s. Its "
                                      "files belong in the folder %s"),
                        {fileNames(missing), ModelFolder(upscalerFolder)});
}
