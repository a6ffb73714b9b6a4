// The command line of grandora-enlarge: the outside upscaler's options and output lines, so the
// batch engine drives either program the same way.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <optional>

namespace engine
{

struct TEnlargeCommand {
    QString input;
    QString output;
    QString model = QStringLiteral("realesrgan-x4plus");
    QString modelFolder; // empty: models/ or realesrgan/models/ beside the program
    int scale = 4;
    QString format; // png, jpg or webp; empty: png in folder mode, the output's suffix otherwise
    int tileSize = 0;
    bool verbose = false;
    bool help = false;
};

// The options of `arguments` (without the program name), or the reason they cannot be used.
std::optional<TEnlargeCommand> ParseEnlargeCommand(const QStringList& arguments, QString& error);

QString EnlargeUsage();

// Runs the command, writing its lines to `out`; returns the exit code.
int RunEnlargeCommand(const TEnlargeCommand& command, const QString& programFolder, std::FILE* out);

} // namespace engine
