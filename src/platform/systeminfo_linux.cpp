#include "systeminfo.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <sys/utsname.h>

namespace platform
{

namespace
{

QString readSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(qint64{64} * 1024));
}

// One value of an os-release file, with its shell quoting removed.
QString osReleaseValue(const QString& osRelease, const QString& key)
{
    for (const QString& line : osRelease.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(key + QLatin1Char('=')))
            continue;
        QString value = trimmed.mid(key.size() + 1);
        if (value.size() >= 2 &&
            (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        value.replace(QStringLiteral("\\\""), QStringLiteral("\""));
        return value;
    }
    return {};
}

} // namespace

QString FormatMachineGuid(const QString& raw)
{
    static const QRegularExpression hex32(QStringLiteral("^[0-9a-fA-F]{32}$"));
    const QString id = raw.trimmed().toLower();
    if (!hex32.match(id).hasMatch())
        return {};
    return id.mid(0, 8) + QLatin1Char('-') + id.mid(8, 4) + QLatin1Char('-') + id.mid(12, 4) +
           QLatin1Char('-') + id.mid(16, 4) + QLatin1Char('-') + id.mid(20, 12);
}

QString ReadMachineGuid()
{
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        const QString guid = FormatMachineGuid(readSmallFile(QLatin1String(path)));
        if (!guid.isEmpty())
            return guid;
    }
    return {};
}

QString FormatOsDescription(const QString& osRelease, const QString& kernelRelease,
                            const QString& machine)
{
    QString name = osReleaseValue(osRelease, QStringLiteral("NAME"));
    const QString versionId = osReleaseValue(osRelease, QStringLiteral("VERSION_ID"));
    if (name.isEmpty())
        name = QStringLiteral("Linux");
    if (!versionId.isEmpty())
        name += QLatin1Char(' ') + versionId;

    // "6.1.0-18-amd64": major 6, minor 1, build 0; missing parts count as 0.
    int numbers[3] = {0, 0, 0};
    static const QRegularExpression leadingNumbers(
        QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch match = leadingNumbers.match(kernelRelease);
    for (int i = 0; i < 3 && match.hasMatch(); ++i)
        numbers[i] = match.captured(i + 1).toInt();

    const QString edition = machine.contains(QStringLiteral("64"))
                                ? QStringLiteral("64-bit Edition")
                                : QStringLiteral("32-bit Edition");
    return QStringLiteral("%1 (Version %2.%3, Build %4, %5)")
        .arg(name)
        .arg(numbers[0])
        .arg(numbers[1])
        .arg(numbers[2])
        .arg(edition);
}

QString OsDescription()
{
    QString osRelease = readSmallFile(QStringLiteral("/etc/os-release"));
    if (osRelease.isEmpty())
        osRelease = readSmallFile(QStringLiteral("/usr/lib/os-release"));
    utsname names{};
    if (::uname(&names) != 0)
        return FormatOsDescription(osRelease, QString(), QString());
    return FormatOsDescription(osRelease, QString::fromUtf8(names.release),
                               QString::fromUtf8(names.machine));
}

QString FormatLocaleName(const QString& localeName)
{
    // "de_DE.UTF-8@euro" -> "de_DE"
    QString name = localeName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    static const QRegularExpression languageRegion(
        QStringLiteral("^([a-zA-Z]{2,3})(?:[_-]([a-zA-Z0-9]{2,4}))?$"));
    const QRegularExpressionMatch match = languageRegion.match(name);
    if (!match.hasMatch())
        return QStringLiteral("xx");
    QString result = match.captured(1).toLower();
    if (!match.captured(2).isEmpty())
        result += QLatin1Char('-') + match.captured(2).toUpper();
    return result;
}

QString UserLocaleName()
{
    return FormatLocaleName(QLocale::system().name());
}

} // namespace platform
