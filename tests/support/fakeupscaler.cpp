// Stands in for the AI upscaler in tests: the same command line (-i input -o output -n model
// [-s scale]), an image enlarged by plain scaling, and on request the upscaler's failures.
//
// GRANDORA_FAKE_UPSCALER_MODE picks the behaviour:
//   enlarge (default)  writes the input scaled by -s (4); exits 0
//   nothing            writes nothing; exits 0, as the real one does on most failures
//   empty              writes an empty output file
//   truncated          writes only the first bytes of the image, cut off inside its header
//   crash              writes the image, then dies of SIGABRT
//   hang               prints a line and waits until it is killed
//   slow               prints progress lines GRANDORA_FAKE_UPSCALER_DELAY_MS apart, then enlarges;
//                      with GRANDORA_FAKE_UPSCALER_COMMA set they read "25,00%", as under a
//                      locale with a decimal comma
//   same               writes the input image at its own size
//   exit1              writes the image and exits 1
//   cutoff             writes the image cut off after its first 4 KB (or 3/4 of a smaller one),
//                      as a full disk leaves it: the header still reads; exits 0
//   writefail          writes the image but says "Couldn't write the image"; exits 0
//   black              writes an all-black image of the right size; exits 0
//   damaged            writes the enlarged image with its colours inverted; exits 0
// black and damaged hold in folder mode too, like slow.
// Like the real one, a missing models/<name>.param or .bin (or <name>-x<scale>.param and .bin, for
// a model kept per scale) beside the program gives an all-black image of the right size, and an
// unreadable input gives no output at all.
//
// With -i naming a folder it works as the real one does in folder mode: the regular files of the
// folder with an image extension (links and other files are passed over silently), in byte
// order, each written to the -o folder as <stem>.<-f format, png>. It prints "0.00%" as each
// image starts, its progress lines in slow mode, and with -v "<in> -> <out> done" when an image
// is written. It reads up to nine images ahead and says "Couldn't read the image '<path>'!" for
// an unreadable one when it reads it. An image 11 pixels wide cannot be written ("Couldn't write
// the image <path>"), one 13 pixels wide makes it crash, in both modes. It exits 0.
// With GRANDORA_FAKE_UPSCALER_SAVE_BEHIND set, folder mode saves each image while it works on the
// next, as the real one does on a thread of its own: an image's last line "100.00%" and its done
// line come after the next image's "0.00%".
// GRANDORA_FAKE_UPSCALER_STARTUP_MS and GRANDORA_FAKE_UPSCALER_IMAGE_MS add a start-up cost per
// run and a cost per image, as the real one's model load and enlarging.
// GRANDORA_FAKE_UPSCALER_LOG, when set, names a file that gets one line per run: the arguments
// separated by tabs.
#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace
{

QString argument(const QStringList& args, const QString& flag, const QString& fallback = {})
{
    const qsizetype at = args.indexOf(flag);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

// Like the real one, it reads PNG, JPEG and WebP, whatever the name says, and nothing else.
QImage readImage(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg" && format != "webp")
        return {};
    return reader.read();
}

// What it makes of the pixels: black for a missing model or on request, inverted when asked to
// come back damaged.
enum class Spoil { None, Black, Invert };

void spoil(QImage& image, Spoil how)
{
    if (how == Spoil::Black)
        image.fill(Qt::black);
    else if (how == Spoil::Invert)
        image.invertPixels();
}

QByteArray enlarged(const QString& input, const QString& output, int scale, Spoil how)
{
    QImage image = readImage(input);
    image.setColorSpace({}); // it writes pixels only
    if (image.isNull())
        return {};
    image = image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    spoil(image, how);
    QByteArray bytes;
    const QString suffix = QFileInfo(output).suffix().toLower();
    QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    image = image.convertToFormat(format);
    QFile::remove(output);
    if (!image.save(output, suffix.isEmpty() ? "png" : suffix.toLatin1().constData()))
        return {};
    QFile file(output);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void progress(int percent, bool slow)
{
    // Under a locale with a decimal comma the real one writes "25,00%", unless told C numbers.
    const bool comma = qEnvironmentVariableIsSet("GRANDORA_FAKE_UPSCALER_COMMA") &&
                       qgetenv("LC_ALL") != "C" && qgetenv("LC_NUMERIC") != "C";
    std::printf(comma ? "%d,00%%\n" : "%d.00%%\n", percent);
    std::fflush(stdout);
    if (slow) {
        const int delay = qEnvironmentVariableIntValue("GRANDORA_FAKE_UPSCALER_DELAY_MS");
        QThread::msleep(static_cast<unsigned long>(delay > 0 ? delay : 200));
    }
}

void pause(const char* variable)
{
    if (const int ms = qEnvironmentVariableIntValue(variable); ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

int folderMode(const QString& input, const QString& output, const QString& format, int scale,
               Spoil how, bool verbose, bool slow)
{
    QByteArrayList names;
    for (const QString& name : QDir(input).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        names << QFile::encodeName(name);
    std::sort(names.begin(), names.end());
    QStringList images;
    for (const QByteArray& name : names) {
        const QString suffix = QFileInfo(QFile::decodeName(name)).suffix().toLower();
        if (suffix == QLatin1String("png") || suffix == QLatin1String("jpg") ||
            suffix == QLatin1String("jpeg") || suffix == QLatin1String("webp"))
            images << input + QLatin1Char('/') + QFile::decodeName(name);
    }
    QList<QImage> decoded;
    const auto readAhead = [&](qsizetype upTo) {
        while (decoded.size() < std::min(upTo, images.size())) {
            decoded << readImage(images[decoded.size()]);
            if (decoded.back().isNull()) {
                std::printf("Couldn't read the image '%s'!\n",
                            qPrintable(images[decoded.size() - 1]));
                std::fflush(stdout);
            }
        }
    };
    const bool saveBehind = qEnvironmentVariableIsSet("GRANDORA_FAKE_UPSCALER_SAVE_BEHIND");
    QByteArray saved; // the lines of the image saved behind, not printed yet
    const auto printSaved = [&saved] {
        std::fputs(saved.constData(), stdout);
        std::fflush(stdout);
        saved.clear();
    };
    for (qsizetype i = 0; i < images.size(); ++i) {
        readAhead(i + 9);
        QImage image = decoded[i];
        if (image.isNull())
            continue;
        progress(0, false);
        printSaved();
        pause("GRANDORA_FAKE_UPSCALER_IMAGE_MS");
        if (slow) {
            for (int percent = 25; percent < (saveBehind ? 100 : 125); percent += 25)
                progress(percent, true);
        }
        if (image.width() == 13)
            std::abort();
        const QString target = output + QLatin1Char('/') + QFileInfo(images[i]).completeBaseName() +
                               QLatin1Char('.') + format;
        if (image.width() == 11) {
            std::printf("Couldn't write the image %s\n", qPrintable(target));
            std::fflush(stdout);
            continue;
        }
        image = image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        spoil(image, how);
        image = image.convertToFormat(QImage::Format_RGB32);
        image.setColorSpace({});
        if (!image.save(target, format.toLatin1().constData())) {
            std::printf("Couldn't write the image %s\n", qPrintable(target));
            continue;
        }
        if (saveBehind) {
            saved = QByteArrayLiteral("100.00%\n");
            if (verbose)
                saved += (images[i] + QStringLiteral(" -> ") + target + QStringLiteral(" done\n"))
                             .toLocal8Bit();
            continue;
        }
        if (verbose)
            std::printf("%s -> %s done\n", qPrintable(images[i]), qPrintable(target));
        std::fflush(stdout);
    }
    printSaved();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QByteArray mode = qgetenv("GRANDORA_FAKE_UPSCALER_MODE");
    const QString log = qEnvironmentVariable("GRANDORA_FAKE_UPSCALER_LOG");
    if (!log.isEmpty()) {
        QFile file(log);
        if (file.open(QIODevice::Append))
            file.write(args.join(QLatin1Char('\t')).toUtf8() + '\n');
    }

    const QString input = argument(args, QStringLiteral("-i"));
    const QString output = argument(args, QStringLiteral("-o"));
    const QString model = argument(args, QStringLiteral("-n"), QStringLiteral("realesrgan-x4plus"));
    const int scale = argument(args, QStringLiteral("-s"), QStringLiteral("4")).toInt();
    if (input.isEmpty() || output.isEmpty() || scale < 1) {
        std::fprintf(stderr, "usage: -i input -o output [-n model] [-s scale]\n");
        return 1;
    }
    // The program as it was started (a link keeps its own folder), like the real one.
    // A model kept in one file pair per scale is named without its "-x4".
    QString models = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath() +
                     QStringLiteral("/models/") + model;
    if (!QFileInfo::exists(models + QStringLiteral(".param")))
        models += QStringLiteral("-x%1").arg(scale);
    const bool modelMissing = !QFileInfo::exists(models + QStringLiteral(".param")) ||
                              !QFileInfo::exists(models + QStringLiteral(".bin"));
    const Spoil how = modelMissing || mode == "black" ? Spoil::Black
                      : mode == "damaged"             ? Spoil::Invert
                                                      : Spoil::None;

    pause("GRANDORA_FAKE_UPSCALER_STARTUP_MS");
    if (QFileInfo(input).isDir())
        return folderMode(input, output,
                          argument(args, QStringLiteral("-f"), QStringLiteral("png")), scale, how,
                          args.contains(QStringLiteral("-v")), mode == "slow");

    std::printf("fake upscaler: %s -> %s\n", qPrintable(input), qPrintable(output));
    std::fflush(stdout);
    if (mode == "nothing")
        return 0;
    if (mode == "empty") {
        QFile file(output);
        return file.open(QIODevice::WriteOnly) ? 0 : 1;
    }
    if (mode == "hang") {
        for (;;)
            QThread::sleep(60);
    }
    if (mode == "slow") {
        for (int percent = 0; percent <= 100; percent += 25)
            progress(percent, true);
    }
    pause("GRANDORA_FAKE_UPSCALER_IMAGE_MS");
    if (mode == "same") {
        QFile::remove(output);
        return QFile::copy(input, output) ? 0 : 1;
    }

    const QByteArray image = enlarged(input, output, scale, how);
    if (image.isEmpty()) {
        std::fprintf(stderr, "Error: Couldn't read the image '%s'!\n", qPrintable(input));
        return 0;
    }
    if (mode == "truncated") {
        QFile file(output);
        if (!file.open(QIODevice::WriteOnly) || file.write(image.left(12)) != 12)
            return 1;
    }
    if (mode == "cutoff" && !QFile::resize(output, std::min<qint64>(4096, image.size() * 3 / 4)))
        return 1;
    if (mode == "writefail") {
        std::fprintf(stderr, "Couldn't write the image %s\n", qPrintable(output));
        return 0;
    }
    if (mode == "crash" || QImageReader(input).size().width() == 13)
        std::abort();
    if (mode == "exit1")
        return 1;
    std::printf("Upscaled successfully\n");
    return 0;
}
