#include "batchoptions.h"

#include "platform/files.h"
#include "runner/commandline.h"
#include "vulkandevices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace
{

// The fast anime model comes in one file pair per scale; the upscaler adds "-x2", "-x3" or "-x4"
// to its name itself, by the scale it is given.
const char fastArtworkModel[] = "realesr-animevideov3";

// The stem of the model's .param and .bin files.
QString modelFileStem(TImageType type, TSpeed speed, int scale)
{
    if (type == TImageType::Artwork && speed == TSpeed::Fast)
        return QLatin1String(fastArtworkModel) + QStringLiteral("-x%1").arg(scale);
    return ModelName(type, speed);
}

} // namespace

QString ModelName(TImageType type, TSpeed speed)
{
    if (speed == TSpeed::Fast)
        return type == TImageType::Artwork ? QLatin1String(fastArtworkModel)
                                           : QStringLiteral("realesrgan-x4fast");
    return type == TImageType::Artwork ? QStringLiteral("realesrgan-x4plus-anime")
                                       : QStringLiteral("realesrgan-x4plus");
}

int ModelScale(TImageType type, TSpeed speed, int scale)
{
    return type == TImageType::Artwork && speed == TSpeed::Fast ? scale : 4;
}

int ModelScale(const TBatchOptions& options)
{
    return ModelScale(options.imageType, options.speed, options.scale);
}

bool FastModelInstalled(const QString& upscalerFolder, TImageType type, int scale)
{
    return MissingModelFiles(upscalerFolder, type, TSpeed::Fast, scale).isEmpty();
}

QString ImageTypeSettingName(TImageType type)
{
    return type == TImageType::Artwork ? QStringLiteral("Artwork") : QStringLiteral("Photo");
}

std::optional<TImageType>
ImageTypeFromSetting(const QString& stored,
                     const std::function<QStringList(const QString&)>& captionsOf)
{
    const TImageType types[] = {TImageType::Artwork, TImageType::Photo};
    for (TImageType type : types) {
        if (stored == ImageTypeSettingName(type))
            return type;
    }
    if (stored.isEmpty())
        return std::nullopt;
    for (TImageType type : types) {
        if (captionsOf(ImageTypeSettingName(type)).contains(stored))
            return type;
    }
    return std::nullopt;
}

QString UpscalerProgram(const QString& upscalerFolder)
{
    return upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan");
}

TEngine ResolvedEngine(const TBatchOptions& options)
{
    if (options.engine != TEngine::Automatic)
        return options.engine;
    const QFileInfo upscaler(UpscalerProgram(options.upscalerFolder));
    if (!upscaler.isFile() || !upscaler.isExecutable())
        return TEngine::BuiltIn;
    // Checked once: asking Vulkan starts its drivers, and the answer does not change while the
    // program runs.
    static const bool graphicsDevice = VulkanOffersGraphicsDevice();
    return graphicsDevice ? TEngine::Upscaler : TEngine::BuiltIn;
}

QString EngineProgram(const TBatchOptions& options)
{
    if (ResolvedEngine(options) == TEngine::Upscaler)
        return UpscalerProgram(options.upscalerFolder);
    if (!options.builtInEngine.isEmpty())
        return options.builtInEngine;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/grandora-enlarge");
}

QString EngineCommand(const TBatchOptions& options)
{
    QString command = QuoteCommandLineArgument(EngineProgram(options));
    if (ResolvedEngine(options) == TEngine::BuiltIn)
        command += QStringLiteral(" -m ") +
                   QuoteCommandLineArgument(ModelFolder(options.upscalerFolder).chopped(1));
    // 4 is both programs' default.
    if (ModelScale(options) != 4)
        command += QStringLiteral(" -s ") + QString::number(ModelScale(options));
    return command;
}

QString ModelFolder(const QString& upscalerFolder)
{
    return upscalerFolder + QStringLiteral("models/");
}

QStringList MissingModelFiles(const QString& upscalerFolder, TImageType type, TSpeed speed,
                              int scale)
{
    QStringList missing;
    for (const char* suffix : {".param", ".bin"}) {
        const QString file = ModelFolder(upscalerFolder) +
                             modelFileStem(type, speed, ModelScale(type, speed, scale)) +
                             QLatin1String(suffix);
        if (!QFileInfo(file).isFile())
            missing << file;
    }
    return missing;
}

TDestinationCheck PrepareDestination(const TBatchOptions& options)
{
    // Only copies go to the destination; replacing originals never looks at it.
    if (options.action != TAction::CreateCopies || options.destination.isEmpty())
        return TDestinationCheck::Ready;
    if (!QFileInfo(options.destination).isDir())
        QDir().mkpath(options.destination);
    if (!QFileInfo(options.destination).isDir())
        return TDestinationCheck::Missing;
    if (!platform::IsFolderWritable(options.destination))
        return TDestinationCheck::NotWritable;
    return TDestinationCheck::Ready;
}
