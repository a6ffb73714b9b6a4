#include "inifile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

namespace platform
{

namespace
{

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile::IniFile(const QString& path) : path_(path)
{
    QFile file(path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw IniError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        throw IniError(QStringLiteral("No mapping for the Unicode character exists in the target "
                                      "multi-byte code page (file \"%1\")")
                           .arg(path));

    Section* current = nullptr;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2).trimmed();
            current = findSection(name);
            if (!current) {
                sections_.push_back({name, {}});
                current = &sections_.back();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = rawLine.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = rawLine.left(eq).trimmed();
        const QString value = rawLine.mid(eq + 1);
        bool found = false;
        for (const Entry& entry : current->entries)
            found = found || sameName(entry.key, key);
        if (!found)
            current->entries.push_back({key, value});
    }
}

IniFile::Section* IniFile::findSection(const QString& name)
{
    for (Section& section : sections_)
        if (sameName(section.name, name))
            return &section;
    return nullptr;
}

const IniFile::Section* IniFile::findSection(const QString& name) const
{
    for (const Section& section : sections_)
        if (sameName(section.name, name))
            return &section;
    return nullptr;
}

QString IniFile::ReadString(const QString& section, const QString& key,
                            const QString& defaultValue) const
{
    if (const Section* found = findSection(section))
        for (const Entry& entry : found->entries)
            if (sameName(entry.key, key))
                return entry.value;
    return defaultValue;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        throw IniError(
            QStringLiteral("The value of \"%1\" holds a line break and cannot be stored").arg(key));
    Section* target = findSection(section);
    if (!target) {
        sections_.push_back({section, {}});
        target = &sections_.back();
    }
    for (Entry& entry : target->entries) {
        if (sameName(entry.key, key)) {
            entry.value = value;
            return;
        }
    }
    target->entries.push_back({key, value});
}

void IniFile::DeleteKey(const QString& section, const QString& key)
{
    if (Section* found = findSection(section))
        std::erase_if(found->entries, [&](const Entry& e) { return sameName(e.key, key); });
}

QStringList IniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    if (const Section* found = findSection(section))
        for (const Entry& entry : found->entries)
            keys << entry.key;
    return keys;
}

void IniFile::UpdateFile() const
{
    QString text;
    for (const Section& section : sections_) {
        text += QLatin1Char('[') + section.name + QStringLiteral("]\n");
        for (const Entry& entry : section.entries)
            text += entry.key + QLatin1Char('=') + entry.value + QLatin1Char('\n');
        text += QLatin1Char('\n');
    }
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        throw IniError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(path_, file.errorString()));
}

} // namespace platform
