// The options page as a value: what the user chose, how each choice is kept in settings.ini, which
// choices the others allow, and the batch options they make. No widgets.
#pragma once

#include "batch/batchoptions.h"

#include <QString>
#include <functional>
#include <utility>

struct TOptionChoices {
    TImageType imageType = TImageType::Artwork;
    TAction action = TAction::CreateCopies;
    // Copies go beside their originals unless a folder is chosen; an empty folder chooses none.
    bool besideOriginals = true;
    QString destinationFolder;
    TDisposal disposal = TDisposal::RecycleBin;
    int scale = 4; // 2, 3 or 4
    TOutputFormat outputFormat = TOutputFormat::SameAsOriginal;
    int jpegQuality = 90; // 1 to 100
    // The speed the user chose. It outlasts an image type without a fast model, so that going
    // back to a type with one brings Fast back.
    TSpeed speed = TSpeed::BestQuality;
    // Each computer picks its engine until the user says otherwise.
    TEngine engine = TEngine::Automatic;
    bool keepMetadata = true;
    bool keepFolderStructure = true;
    QString copyName = QStringLiteral("{name}");
    TNameTaken whenNameTaken = TNameTaken::AddNumber;

    bool operator==(const TOptionChoices&) const = default;
};

// One choice of the page; each is kept under its own key.
enum class TChoiceField {
    ImageType,
    Action,
    Destination,
    Disposal,
    Scale,
    OutputFormat,
    JpegQuality,
    Speed,
    Engine,
    KeepMetadata,
    KeepFolderStructure,
    CopyName,
    WhenNameTaken
};

// The choices that settings.ini holds, read key by key through `read` (empty: not stored). A value
// that names nothing leaves the default. Without a stored image type, a new user starts with one
// whose model is in `upscalerFolder`. A destination is only taken while it is a folder.
TOptionChoices LoadChoices(const std::function<QString(const QString&)>& read,
                           const QString& upscalerFolder);
// The key of settings.ini and the value that keep `field` of `choices`. "Beside the originals"
// is kept as an empty destination.
std::pair<QString, QString> StoredChoice(const TOptionChoices& choices, TChoiceField field);

// What the choices allow of the others.
struct TOptionRules {
    bool disposalShown = false;      // what happens to originals, only when they are replaced
    bool destinationEnabled = false; // a folder, for copies only
    bool formatEnabled = false;      // a replaced original keeps its own format
    bool qualityEnabled = false;     // for JPEG copies only
    bool fastOffered = false;        // where the image type has a fast model
    // Only copies in a destination folder can mirror a tree; beside the originals they are in it.
    bool folderStructureEnabled = false;
    bool copyNamingEnabled = false; // copy name and name-taken choice: copies only
    TSpeed shownSpeed = TSpeed::BestQuality;
};
TOptionRules OptionRulesOf(const TOptionChoices& choices, bool fastModelInstalled);

// An image type as the options page offers it: its caption, and where its model is not in
// `upscalerFolder`, "(model not installed)" after it and a tooltip that names the missing files and
// the folder they go in.
struct TImageTypeItem {
    QString caption;
    QString toolTip; // empty when the model is installed
};
TImageTypeItem ImageTypeItemOf(TImageType type, const QString& upscalerFolder);
// Why Speed offers no Fast for the image type: the fast model's missing files and their folder;
// empty when it is installed.
QString NoFastModelTip(TImageType type, int scale, const QString& upscalerFolder);

// What a batch started with `choices` does, with the upscaler and its models in `upscalerFolder`.
TBatchOptions BatchOptionsOf(const TOptionChoices& choices, const QString& upscalerFolder);
