// An in-memory INI store over one UTF-8 file: the whole file is read once, writes change the memory
// copy, and UpdateFile() writes the whole file back crash-safely (temporary file, then rename).
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstddef>
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

// The file is there but what it holds could not be had: it is not a regular file, could not be
// opened or read, or is larger than IniFile::MaxFileSize. Nothing is known about its content.
class IniUnreadableError : public IniError
{
public:
    // `code` is the errno of the step that failed, 0 when the path is not a regular file.
    IniUnreadableError(const QString& path, int code);
    const QString& fileName() const { return path_; }
    int code() const { return code_; }

private:
    QString path_;
    int code_;
};

class IniFile
{
public:
    // Far beyond any store this program writes; a larger file is none of ours, and holding it in
    // memory could exhaust it.
    static constexpr qint64 MaxFileSize = qint64{16} * 1024 * 1024;

    // Reads `path`; a missing file gives an empty store. Raises IniUnreadableError when the file
    // cannot be read, and IniError when it is not valid UTF-8.
    explicit IniFile(const QString& path);
    // An empty store for `path` that does not look at the file, for a file known to be unusable.
    static IniFile Empty(const QString& path);

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
    // Keys keep the order of the file; the index finds one by its case-folded name, so reading
    // a file with many keys takes linear time.
    struct Section {
        QString name;
        std::vector<Entry> entries;
        QHash<QString, std::size_t> index;
    };
    struct NoFile {
    };
    IniFile(const QString& path, NoFile);

    void parse(QStringView text);
    // The position of the section `name`, added at the end when it is new.
    std::size_t sectionFor(const QString& name);
    const Section* findSection(const QString& name) const;
    static const Entry* findEntry(const Section& section, const QString& key);

    QString path_;
    std::vector<Section> sections_;
    QHash<QString, std::size_t> sectionIndex_;
};

} // namespace platform
