// grandora-enlarge: enlarges images on the processor, with the outside upscaler's command line.
#include "enlargecommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <new>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QString error;
    const std::optional<engine::TEnlargeCommand> command =
        engine::ParseEnlargeCommand(arguments, error);
    if (!command) {
        std::fprintf(stderr, "grandora-enlarge: %s\n\n%s", qPrintable(error),
                     qPrintable(engine::EnlargeUsage()));
        return 2;
    }
    if (command->help) {
        std::fputs(qPrintable(engine::EnlargeUsage()), stdout);
        return 0;
    }
    // Models are found beside the real program, not beside a link to it.
    const QString folder =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
    try {
        return engine::RunEnlargeCommand(*command, folder, stderr);
    } catch (const std::bad_alloc&) {
        std::fputs("Not enough memory to enlarge the image\n", stderr);
        return 1;
    }
}
