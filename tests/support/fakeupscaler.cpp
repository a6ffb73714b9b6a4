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
// Like the real one, a missing models/<name>.param or .bin beside the program gives an all-black
// image of the right size, and an unreadable input gives no output at all.
// GRANDORA_FAKE_UPSCALER_LOG, when set, names a file that gets one line per run: the arguments
// separated by tabs.
#include <QCoreApplication>
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

QByteArray enlarged(const QString& input, const QString& output, int scale, bool black)
{
    QImageReader reader(input);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    image = image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (black)
        image.fill(Qt::black);
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
    const QString models = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath() +
                           QStringLiteral("/models/") + model;
    const bool black = !QFileInfo::exists(models + QStringLiteral(".param")) ||
                       !QFileInfo::exists(models + QStringLiteral(".bin"));

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
        const int delay = qEnvironmentVariableIntValue("GRANDORA_FAKE_UPSCALER_DELAY_MS");
        const char* format =
            qEnvironmentVariableIsSet("GRANDORA_FAKE_UPSCALER_COMMA") ? "%d,00%%\n" : "%d.00%%\n";
        for (int percent = 0; percent <= 100; percent += 25) {
            std::printf(format, percent);
            std::fflush(stdout);
            QThread::msleep(static_cast<unsigned long>(delay > 0 ? delay : 200));
        }
    }
    if (mode == "same") {
        QFile::remove(output);
        return QFile::copy(input, output) ? 0 : 1;
    }

    const QByteArray image = enlarged(input, output, scale, black);
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
    if (mode == "crash")
        std::abort();
    if (mode == "exit1")
        return 1;
    std::printf("Upscaled successfully\n");
    return 0;
}
