#include "checkerstore.h"

#include "platform/files.h"

#include <QDir>
#include <QFileInfo>

namespace
{

QString preparedPath(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

} // namespace

CheckerStore::CheckerStore(const QString& path) : ini_(preparedPath(path)) {}

QString CheckerStore::ReadString(const QString& section, const QString& key,
                                 const QString& defaultValue) const
{
    return ini_.ReadString(section, key, defaultValue);
}

int CheckerStore::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    bool ok = false;
    const int value = ini_.ReadString(section, key, QString()).trimmed().toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool CheckerStore::WriteString(const QString& section, const QString& key, const QString& value)
{
    try {
        ini_.WriteString(section, key, value);
        ini_.UpdateFile();
        return true;
    } catch (const platform::IniError&) {
        return false;
    }
}

bool CheckerStore::WriteInteger(const QString& section, const QString& key, int value)
{
    return WriteString(section, key, QString::number(value));
}

QString CheckerStorePath(const QString& companyName, const QString& productName)
{
    return QDir::cleanPath(platform::AppDataFolder() + QLatin1Char('/') + companyName +
                           QLatin1Char('/') + productName + QStringLiteral("/updatecheck.ini"));
}
