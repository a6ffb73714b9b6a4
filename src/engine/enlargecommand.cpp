#include "enlargecommand.h"

#include "ncnnmodel.h"
#include "network.h"
#include "tiledenlarge.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>

namespace engine
{

namespace
{

const QStringList& outputFormats()
{
    static const QStringList formats{QStringLiteral("png"), QStringLiteral("jpg"),
                                     QStringLiteral("webp")};
    return formats;
}

void say(std::FILE* out, const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), out);
    std::fflush(out);
}

// Beside the program, in the program folder's upscaler, or, installed in the system's layout,
// in the program's data folder.
QString defaultModelFolder(const QString& programFolder)
{
    const QStringList candidates{programFolder + QStringLiteral("/models"),
                                 programFolder + QStringLiteral("/realesrgan/models"),
                                 programFolder +
                                     QStringLiteral("/../lib/grandora/realesrgan/models")};
    for (const QString& folder : candidates) {
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return candidates[1];
}

// The folder's images in byte order of their names, as the outside upscaler takes them.
QStringList folderImages(const QString& folder)
{
    static const QStringList suffixes{QStringLiteral("png"),  QStringLiteral("jpg"),
                                      QStringLiteral("jpeg"), QStringLiteral("webp"),
                                      QStringLiteral("tif"),  QStringLiteral("tiff"),
                                      QStringLiteral("bmp")};
    QByteArrayList names;
    for (const QString& name :
         QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        names << QFile::encodeName(name);
    std::sort(names.begin(), names.end());
    QStringList images;
    for (const QByteArray& name : names) {
        const QString decoded = QFile::decodeName(name);
        if (suffixes.contains(QFileInfo(decoded).suffix().toLower()))
            images << folder + QLatin1Char('/') + decoded;
    }
    return images;
}

bool writeImage(const QImage& image, const QString& path, const QString& format)
{
    QImageWriter writer(path, format == QLatin1String("jpg") ? "jpeg" : format.toLatin1());
    if (format == QLatin1String("jpg") || format == QLatin1String("webp"))
        writer.setQuality(95);
    if (format == QLatin1String("jpg") && image.hasAlphaChannel())
        return writer.write(image.convertToFormat(QImage::Format_RGB888));
    return writer.write(image);
}

// Enlarges one image; false when it could not be read or written, which is said on `out`.
bool enlargeOne(TNetwork& network, const TEnlargeCommand& command, const QString& input,
                const QString& output, const QString& format, std::FILE* out)
{
    // Qt decodes at most 128 MB of pixels by default (about 32 megapixels); photos from today's
    // cameras in 16-bit colour go past that, and the network's own memory is the real limit.
    if (QImageReader::allocationLimit() != 0)
        QImageReader::setAllocationLimit(4096);
    QImageReader reader(input);
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    if (image.isNull()) {
        say(out, QStringLiteral("Couldn't read the image '%1'!").arg(input));
        return false;
    }
    say(out, QStringLiteral("0.00%"));
    const QImage enlarged = EnlargeImage(network, image, command.tileSize, [&](double done) {
        if (done < 1.0)
            say(out, QStringLiteral("%1%").arg(done * 100.0, 0, 'f', 2));
    });
    if (!writeImage(enlarged, output, format)) {
        QFile::remove(output);
        say(out, QStringLiteral("Couldn't write the image %1").arg(output));
        return false;
    }
    say(out, QStringLiteral("100.00%"));
    if (command.verbose)
        say(out, QStringLiteral("%1 -> %2 done").arg(input, output));
    return true;
}

} // namespace

QString EnlargeUsage()
{
    return QStringLiteral(
        "Usage: grandora-enlarge -i infile -o outfile [options]...\n"
        "\n"
        "Enlarges images on the processor with the upscaler's ncnn models.\n"
        "\n"
        "  -h, --help          show this help\n"
        "  -i input-path       input image path (png/jpg/webp/tif/bmp) or folder path\n"
        "  -o output-path      output image path (png/jpg/webp) or folder path\n"
        "  -n model-name       model name (default=realesrgan-x4plus); a model kept per\n"
        "                      scale is named without its -x2, -x3 or -x4\n"
        "  -m model-path       folder of the model's .param and .bin (default=models,\n"
        "                      realesrgan/models or ../lib/grandora/realesrgan/models\n"
        "                      beside this program)\n"
        "  -s scale            upscale ratio (default=4); must be the one the model's\n"
        "                      graph gives\n"
        "  -t tile-size        tile size in input pixels, >=32 (default=0 automatic)\n"
        "  -f format           output image format (png/jpg/webp, default=ext/png)\n"
        "  -v                  verbose output: a line per finished image\n"
        "\n"
        "16-bit images come out 16-bit in PNG, grey ones grey, and transparency is kept.\n");
}

std::optional<TEnlargeCommand> ParseEnlargeCommand(const QStringList& arguments, QString& error)
{
    TEnlargeCommand command;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            command.help = true;
            return command;
        }
        if (option == QLatin1String("-v")) {
            command.verbose = true;
            continue;
        }
        static const QStringList withValue{
            QStringLiteral("-i"), QStringLiteral("-o"), QStringLiteral("-n"), QStringLiteral("-m"),
            QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("-f")};
        if (!withValue.contains(option)) {
            error = QStringLiteral("unknown option %1").arg(option);
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("%1 needs a value").arg(option);
            return std::nullopt;
        }
        const QString value = arguments[++i];
        bool number = true;
        if (option == QLatin1String("-i"))
            command.input = value;
        else if (option == QLatin1String("-o"))
            command.output = value;
        else if (option == QLatin1String("-n"))
            command.model = value;
        else if (option == QLatin1String("-m"))
            command.modelFolder = value;
        else if (option == QLatin1String("-s"))
            command.scale = value.toInt(&number);
        else if (option == QLatin1String("-t"))
            command.tileSize = value.toInt(&number);
        else
            command.format = value.toLower();
        if (!number) {
            error = QStringLiteral("%1 needs a whole number, not %2").arg(option, value);
            return std::nullopt;
        }
    }
    if (command.input.isEmpty() || command.output.isEmpty()) {
        error = QStringLiteral("both -i and -o are needed");
        return std::nullopt;
    }
    if (!command.format.isEmpty() && !outputFormats().contains(command.format)) {
        error = QStringLiteral("-f must be png, jpg or webp, not %1").arg(command.format);
        return std::nullopt;
    }
    if (command.tileSize != 0 && command.tileSize < 32) {
        error = QStringLiteral("-t must be 0 (automatic) or at least 32");
        return std::nullopt;
    }
    return command;
}

int RunEnlargeCommand(const TEnlargeCommand& command, const QString& programFolder, std::FILE* out)
{
    const QString folder =
        command.modelFolder.isEmpty() ? defaultModelFolder(programFolder) : command.modelFolder;
    // Like the outside upscaler, a model kept per scale is named without its "-x4".
    QString stem = folder + QLatin1Char('/') + command.model;
    const QString perScale = stem + QStringLiteral("-x%1").arg(command.scale);
    if (!QFileInfo::exists(stem + QStringLiteral(".param")) &&
        QFileInfo::exists(perScale + QStringLiteral(".param")))
        stem = perScale;
    std::optional<TNetwork> network;
    try {
        network.emplace(
            LoadNcnnModel(stem + QStringLiteral(".param"), stem + QStringLiteral(".bin")));
    } catch (const EModelError& error) {
        say(out, QStringLiteral("The model cannot be used: %1")
                     .arg(QString::fromStdString(error.what())));
        return 1;
    }
    if (network->Scale() != command.scale) {
        say(out, QStringLiteral("The model %1 enlarges %2x, not %3x")
                     .arg(command.model)
                     .arg(network->Scale())
                     .arg(command.scale));
        return 1;
    }

    if (QFileInfo(command.input).isDir()) {
        if (!QFileInfo(command.output).isDir() && !QDir().mkpath(command.output)) {
            say(out, QStringLiteral("Couldn't write the image %1").arg(command.output));
            return 1;
        }
        const QString format = command.format.isEmpty() ? QStringLiteral("png") : command.format;
        bool allDone = true;
        for (const QString& input : folderImages(command.input)) {
            const QString output = command.output + QLatin1Char('/') +
                                   QFileInfo(input).completeBaseName() + QLatin1Char('.') + format;
            allDone = enlargeOne(*network, command, input, output, format, out) && allDone;
        }
        return allDone ? 0 : 1;
    }
    QString format = QFileInfo(command.output).suffix().toLower();
    if (format == QLatin1String("jpeg"))
        format = QStringLiteral("jpg");
    if (!outputFormats().contains(format)) {
        say(out,
            QStringLiteral("The output %1 must end in .png, .jpg or .webp").arg(command.output));
        return 1;
    }
    return enlargeOne(*network, command, command.input, command.output, format, out) ? 0 : 1;
}

} // namespace engine
