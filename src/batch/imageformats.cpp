#include "imageformats.h"

#include "i18n/translation.h"
#include "outputcheck.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSet>
#include <QTransform>

namespace
{

QString extensionOf(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

QString baseNameOf(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

// The upscaler's name for a format it reads and writes itself; empty for the others.
QString upscalerName(const QByteArray& format)
{
    if (format == "png")
        return QStringLiteral("png");
    if (format == "jpeg" || format == "jpg")
        return QStringLiteral("jpg");
    if (format == "webp")
        return QStringLiteral("webp");
    return {};
}

bool canSave(const QByteArray& format)
{
    static const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    return writable.contains(format);
}

QByteArray formatOfOption(TOutputFormat format)
{
    switch (format) {
    case TOutputFormat::Png:
        return "png";
    case TOutputFormat::Jpeg:
        return "jpeg";
    case TOutputFormat::WebP:
        return "webp";
    case TOutputFormat::SameAsOriginal:
        break;
    }
    return {};
}

// The extension a file saved in `format` is named with.
QString extensionOfFormat(const QByteArray& format)
{
    const QString upscaler = upscalerName(format);
    return upscaler.isEmpty() ? QString::fromLatin1(format) : upscaler;
}

// Whether a name with `extension` already says `format`, so a result in it keeps the name.
bool extensionNames(const QString& extension, const QByteArray& format)
{
    if (extension == QLatin1String(format))
        return true;
    if (format == "jpeg")
        return extension == QLatin1String("jpg") || extension == QLatin1String("jpe");
    if (format == "tiff")
        return extension == QLatin1String("tif");
    return false;
}

// The image as its orientation tag shows it.
QImage upright(const QImage& image, QImageIOHandler::Transformations turn)
{
    if (turn == QImageIOHandler::TransformationNone)
        return image;
    if (turn == QImageIOHandler::TransformationRotate270)
        return image.transformed(QTransform().rotate(270));
    QImage turned = image.mirrored(turn & QImageIOHandler::TransformationMirror,
                                   turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90)
        turned = turned.transformed(QTransform().rotate(90));
    return turned;
}

QString withTemplate(const char* text, const QString& value)
{
    return FillTemplate(TranslateText(text), {value});
}

} // namespace

const QStringList& SupportedImageExtensions()
{
    static const QStringList extensions = [] {
        static const QSet<QByteArray> noPixels = {"svg", "svgz", "pdf"};
        QStringList list;
        for (const QByteArray& format : QImageReader::supportedImageFormats()) {
            if (!noPixels.contains(format))
                list << QString::fromLatin1(format).toLower();
        }
        list.sort();
        list.removeDuplicates();
        return list;
    }();
    return extensions;
}

bool IsSupportedImageName(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || path.indexOf(QLatin1Char('/'), dot) >= 0)
        return false;
    static const QSet<QString> extensions(SupportedImageExtensions().cbegin(),
                                          SupportedImageExtensions().cend());
    return extensions.contains(path.mid(dot + 1).toLower());
}

std::variant<TImagePlan, QString> PlanImage(const QString& input, const TBatchOptions& options)
{
    QImageReader reader(input);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return withTemplate("Not an image the program can read: %s", input);
    TImagePlan plan;
    plan.contentFormat = reader.format();
    if (reader.supportsAnimation() && reader.imageCount() > 1)
        return TranslateText("Animated images are not supported");

    const QByteArray chosen = options.action == TAction::CreateCopies
                                  ? formatOfOption(options.outputFormat)
                                  : QByteArray();
    if (!chosen.isEmpty()) {
        plan.savedFormat = chosen;
    } else if (canSave(plan.contentFormat)) {
        plan.savedFormat = plan.contentFormat;
    } else if (options.action == TAction::ResizeOriginal) {
        // Replacing may change neither the name nor the format of the user's file.
        return withTemplate("This format cannot be saved, so the original stays as it is: %s",
                            input);
    } else {
        plan.savedFormat = "png";
    }
    const QString extension = extensionOf(input);
    // A result in the original's own format keeps its name, even one that misnames it.
    plan.savedName =
        plan.savedFormat == plan.contentFormat || extensionNames(extension, plan.savedFormat)
            ? QFileInfo(input).fileName()
            : baseNameOf(input) + QLatin1Char('.') + extensionOfFormat(plan.savedFormat);

    const QString readable = upscalerName(plan.contentFormat);
    plan.convertInput = readable.isEmpty();
    plan.inputExtension = plan.convertInput ? QStringLiteral("png") : readable;
    // The upscaler's own JPEG has its fixed quality, near the highest, which makes a photo's copy
    // many times its size; every JPEG placed takes the quality the options show.
    // Without its metadata a phone photo would lose the tag that shows it upright.
    if (!options.keepMetadata)
        plan.turn = reader.transformation();
    plan.reencode = options.scale != ModelScale(options) ||
                    upscalerName(plan.savedFormat).isEmpty() || plan.savedFormat == "jpeg" ||
                    plan.turn != QImageIOHandler::TransformationNone;
    plan.upscalerFormat = plan.reencode ? QStringLiteral("png") : upscalerName(plan.savedFormat);
    return plan;
}

bool WriteUpscalerInput(const QString& input, const QString& png)
{
    QImage image = StoredPixels(input);
    if (image.isNull())
        return false;
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                          : QImage::Format_RGB888);
    QImageWriter writer(png, "png");
    // Read once by the upscaler and then removed: light compression is worth more than size.
    writer.setQuality(90);
    return writer.write(image);
}

bool FinishImage(QImage image, const QString& finished, const TImagePlan& plan,
                 const TBatchOptions& options, QSize originalSize)
{
    if (options.scale != ModelScale(options)) {
        const QSize size = originalSize.isValid()
                               ? originalSize * options.scale
                               : image.size() * options.scale / ModelScale(options);
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image = upright(image, plan.turn);
    QImageWriter writer(finished, plan.savedFormat);
    if (plan.savedFormat == "jpeg")
        writer.setQuality(options.jpegQuality);
    else if (plan.savedFormat == "webp")
        writer.setQuality(100); // lossless, like the upscaler's own WebP
    return writer.write(image);
}
