#include "inifile.h"

#include "files.h"
#include "oserror.h"

#include <QSaveFile>
#include <QStringDecoder>
#include <utility>

namespace platform
{

namespace
{

// The one form in which names are compared, so lookups agree with the case-insensitive rule.
QString folded(QStringView name)
{
    return name.toString().toCaseFolded();
}

// Where `name` (folded) sits in `index`, entered there as `next` when it is new; true when new.
std::pair<std::size_t, bool> placeOf(QHash<QString, std::size_t>& index, const QString& name,
                                     std::size_t next)
{
    const auto found = index.constFind(name);
    if (found != index.cend())
        return {*found, false};
    index.insert(name, next);
    return {next, true};
}

QString unreadableMessage(const QString& path, int code)
{
    return QStringLiteral("Cannot open file \"%1\". %2")
        .arg(path, code ? SystemErrorText(code) : QStringLiteral("Not a regular file"));
}

} // namespace

IniUnreadableError::IniUnreadableError(const QString& path, int code)
    : IniError(unreadableMessage(path, code)), path_(path), code_(code)
{
}

IniFile::IniFile(const QString& path, NoFile) : path_(path) {}

IniFile IniFile::Empty(const QString& path)
{
    return IniFile(path, NoFile{});
}

IniFile::IniFile(const QString& path) : path_(path)
{
    const TFileContent content = ReadRegularFile(path, MaxFileSize);
    switch (content.status) {
    case TReadStatus::Missing:
        return;
    case TReadStatus::NotRegularFile:
        throw IniUnreadableError(path, 0);
    case TReadStatus::Failed:
        throw IniUnreadableError(path, content.error);
    case TReadStatus::Read:
        break;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(content.bytes);
    if (decoder.hasError())
        throw IniError(QStringLiteral("No mapping for the Unicode character exists in the target "
                                      "multi-byte code page (file \"%1\")")
                           .arg(path));
    parse(text);
}

void IniFile::parse(QStringView text)
{
    std::size_t current = 0;
    bool inSection = false;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QStringView rawLine = text.sliced(start, end - start);
        start = end + (text.sliced(end).startsWith(u"\r\n") ? 2 : 1);

        const QStringView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = sectionFor(line.sliced(1, line.size() - 2).trimmed().toString());
            inSection = true;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = rawLine.indexOf(u'=');
        if (eq < 0)
            continue;
        Section& section = sections_[current];
        const QStringView key = rawLine.first(eq).trimmed();
        // The first occurrence of a key wins, as a lookup from the top of the file would find.
        if (placeOf(section.index, folded(key), section.entries.size()).second)
            section.entries.push_back({key.toString(), rawLine.sliced(eq + 1).toString()});
    }
}

std::size_t IniFile::sectionFor(const QString& name)
{
    const auto [position, added] = placeOf(sectionIndex_, folded(name), sections_.size());
    if (added)
        sections_.push_back({name, {}, {}});
    return position;
}

const IniFile::Section* IniFile::findSection(const QString& name) const
{
    const auto found = sectionIndex_.constFind(folded(name));
    return found == sectionIndex_.cend() ? nullptr : &sections_[*found];
}

const IniFile::Entry* IniFile::findEntry(const Section& section, const QString& key)
{
    const auto found = section.index.constFind(folded(key));
    return found == section.index.cend() ? nullptr : &section.entries[*found];
}

QString IniFile::ReadString(const QString& section, const QString& key,
                            const QString& defaultValue) const
{
    const Section* found = findSection(section);
    const Entry* entry = found ? findEntry(*found, key) : nullptr;
    return entry ? entry->value : defaultValue;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        throw IniError(
            QStringLiteral("The value of \"%1\" holds a line break and cannot be stored").arg(key));
    Section& target = sections_[sectionFor(section)];
    const auto [position, added] = placeOf(target.index, folded(key), target.entries.size());
    if (added)
        target.entries.push_back({key, value});
    else
        target.entries[position].value = value;
}

void IniFile::DeleteKey(const QString& section, const QString& key)
{
    const auto found = sectionIndex_.constFind(folded(section));
    if (found == sectionIndex_.cend())
        return;
    Section& target = sections_[*found];
    const auto slot = target.index.constFind(folded(key));
    if (slot == target.index.cend())
        return;
    const std::size_t removed = *slot;
    target.entries.erase(target.entries.begin() + static_cast<std::ptrdiff_t>(removed));
    target.index.erase(slot);
    for (std::size_t& position : target.index)
        if (position > removed)
            --position;
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
