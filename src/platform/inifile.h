// An in-memory INI store over one UTF-8 file: the whole file is read once, writes change the memory
// copy, and UpdateFile() writes the whole file back crash-safely (temporary file, then rename).
#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>
#include <vector>

namespace platform
{

class IniError : public std::runtime_error
{
public:
    explicit IniError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

class IniFile
{
public:
    // Reads `path`; a missing file gives an empty store. Raises IniError when the file cannot be
    // read or is not valid UTF-8.
    explicit IniFile(const QString& path);

    const QString& fileName() const { return path_; }

    // Section and key names compare without regard to case, as INI readers traditionally do.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Raises IniError for a value with a line break: it would read back as another key.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void DeleteKey(const QString& section, const QString& key);
    QStringList ReadSection(const QString& section) const;

    // Writes the memory copy to the file; raises IniError when that fails (the memory copy keeps
    // its values).
    void UpdateFile() const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
    };
    Section* findSection(const QString& name);
    const Section* findSection(const QString& name) const;

    QString path_;
    std::vector<Section> sections_;
};

} // namespace platform
