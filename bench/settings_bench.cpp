// Measures loading a settings.ini with many keys against plain baselines taken in the same run and
// prints the ratios: for 20,000 and 100,000 keys, the INI store's load (and a read of every key)
// against reading the same file into memory with QFile, and against cat to /dev/null. Equal time
// per key at both sizes shows that loading grows linearly. Each figure is the best of a few
// rounds, so a busy machine distorts it less.
//
//   settings_bench
#include "benchtiming.h"
#include "platform/inifile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace
{

constexpr int Rounds = 5;

// A [Settings] section with `keys` keys shaped like the program's own, then the program's keys
// again in another case further down, as a hand-edited file might hold them.
QByteArray SettingsText(int keys)
{
    QByteArray text = "[Settings]\n";
    for (int i = 0; i < keys; ++i)
        text += "Destination" + QByteArray::number(i) + "=/home/user/Pictures/enlarged/" +
                QByteArray::number(i) + '\n';
    text += "[Other]\nx=1\n[SETTINGS]\nDESTINATION0=/elsewhere\nModel=Photo\n";
    return text;
}

double TimeQFileRead(const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.readAll().isEmpty())
        std::fprintf(stderr, "reading %s failed\n", qPrintable(path));
    return Seconds(clock);
}

double TimeCat(const QString& path)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("cat"), {path});
    process.waitForFinished(-1);
    const double seconds = Seconds(clock);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        std::fprintf(stderr, "cat failed\n");
    return seconds;
}

// Loads the file and, with `readEveryKey`, reads each key back by a name in another case.
double TimeLoad(const QString& path, int keys, bool readEveryKey)
{
    QElapsedTimer clock;
    clock.start();
    const platform::IniFile ini(path);
    qsizetype found = 0;
    if (readEveryKey) {
        for (int i = 0; i < keys; ++i)
            found += !ini.ReadString(QStringLiteral("settings"),
                                     QStringLiteral("DESTINATION%1").arg(i), QString())
                          .isEmpty();
    }
    const double seconds = Seconds(clock);
    if (ini.ReadString(QStringLiteral("Settings"), QStringLiteral("Destination0"), {}) !=
            QStringLiteral("/home/user/Pictures/enlarged/0") ||
        (readEveryKey && found != keys))
        std::fprintf(stderr, "the store read the file wrongly\n");
    return seconds;
}

void Report(const char* what, int keys, double seconds, double read, double cat)
{
    std::printf("%7d keys, %-22s %9.3f ms  %5.2f us/key  vs QFile read %7.1fx  vs cat %6.1fx\n",
                keys, what, seconds * 1e3, seconds * 1e6 / keys, seconds / read, seconds / cat);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    for (const int keys : {20000, 100000}) {
        const QString path = folder.filePath(QStringLiteral("settings-%1.ini").arg(keys));
        {
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) || out.write(SettingsText(keys)) < 0)
                return 1;
        }
        TimeQFileRead(path); // into the page cache
        const double read = BestOf(Rounds, [&] { return TimeQFileRead(path); });
        const double cat = BestOf(Rounds, [&] { return TimeCat(path); });
        std::printf("%7d keys, %lld bytes: QFile read %.3f ms, cat %.3f ms\n", keys,
                    static_cast<long long>(QFile(path).size()), read * 1e3, cat * 1e3);
        Report("load", keys, BestOf(Rounds, [&] { return TimeLoad(path, keys, false); }), read,
               cat);
        Report("load + read every key", keys,
               BestOf(Rounds, [&] { return TimeLoad(path, keys, true); }), read, cat);
    }
    return 0;
}
