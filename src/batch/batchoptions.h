// What one batch does, as plain values: a translation or a widget's caption never decides what
// happens to a user's files.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

enum class TImageType { Artwork, Photo };
enum class TAction { ResizeOriginal, CreateCopies };
enum class TDisposal { RecycleBin, DeletePermanently };
enum class TSpeed { BestQuality, Fast };
// The format of a copy; a replaced original always keeps its own.
enum class TOutputFormat { SameAsOriginal, Png, Jpeg, WebP };
// The program that enlarges: the built-in engine on the processor, or the outside upscaler
// through Vulkan. Automatic takes the upscaler only where Vulkan offers a graphics device.
enum class TEngine { Automatic, BuiltIn, Upscaler };
// What a copy does when a file already has its name.
enum class TNameTaken { AddNumber, Skip, Replace };

struct TBatchOptions {
    TImageType imageType = TImageType::Artwork;
    TAction action = TAction::CreateCopies;
    TDisposal disposal = TDisposal::RecycleBin;
    QString destination;    // where copies go; empty: beside each original
    QString upscalerFolder; // holds the upscaler program and its models/, ending with '/'
    int scale = 4; // 2, 3 or 4; where the model enlarges 4x (ModelScale), less is scaled down
    TOutputFormat outputFormat = TOutputFormat::SameAsOriginal;
    int jpegQuality = 90; // 1 to 100, for JPEG copies that the program encodes itself
    TSpeed speed = TSpeed::BestQuality;
    bool keepMetadata = true; // EXIF, XMP, IPTC and the colour profile go over to the result
    // The upscaler, as before the built-in engine came, until the options say otherwise.
    TEngine engine = TEngine::Upscaler;
    QString builtInEngine; // grandora-enlarge; empty: the one beside this program
    // Copies of images added with a folder go below the destination in that folder's tree.
    bool keepFolderStructure = true;
    QString copyName = QStringLiteral("{name}"); // the copy's name without its extension
    TNameTaken whenNameTaken = TNameTaken::AddNumber;
};

// The upscaler's model for the image type at the speed, as passed after -n.
QString ModelName(TImageType type, TSpeed speed = TSpeed::BestQuality);
// The factor by which the model enlarges at `scale`: the fast Artwork model comes for each scale,
// every other one enlarges 4x and its result is scaled down.
int ModelScale(TImageType type, TSpeed speed, int scale);
int ModelScale(const TBatchOptions& options);
// Whether the image type has a fast model for `scale` in `upscalerFolder`.
bool FastModelInstalled(const QString& upscalerFolder, TImageType type, int scale = 4);

// The language-independent name under which the image type is stored ("Artwork", "Photo").
QString ImageTypeSettingName(TImageType type);

// What a stored image type names. Besides the names above, a caption in any of `captionsOf`'s
// languages is understood, because earlier versions stored the translated caption.
// `captionsOf(english)` lists the known translations of an English caption.
std::optional<TImageType>
ImageTypeFromSetting(const QString& stored,
                     const std::function<QStringList(const QString&)>& captionsOf);

// The upscaler program in `upscalerFolder`.
QString UpscalerProgram(const QString& upscalerFolder);

// The engine that enlarges with `options`: BuiltIn or Upscaler. Automatic is the built-in engine
// where the upscaler is not provisioned or Vulkan offers no graphics device.
TEngine ResolvedEngine(const TBatchOptions& options);
// The program that enlarges with `options`.
QString EngineProgram(const TBatchOptions& options);
// The start of the command line that enlarges with `options`: the program, quoted, for the
// built-in engine the upscaler's models folder, which it does not find by itself, and the scale
// of a model that does not enlarge 4x.
QString EngineCommand(const TBatchOptions& options);

// The folder of the upscaler's models in `upscalerFolder`, ending with '/'.
QString ModelFolder(const QString& upscalerFolder);
// The files of the image type's model for the speed and scale that are not in the models folder;
// empty when it is installed. Without them the upscaler still writes an image: an all-black one.
QStringList MissingModelFiles(const QString& upscalerFolder, TImageType type,
                              TSpeed speed = TSpeed::BestQuality, int scale = 4);

// Makes the destination of copies ready. Missing folders are created with their parents.
enum class TDestinationCheck { Ready, Missing, NotWritable };
TDestinationCheck PrepareDestination(const TBatchOptions& options);
