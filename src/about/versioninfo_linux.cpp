#include "versioninfo.h"

#include "platform/oserror.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <optional>

namespace
{

// The section of the executable that holds the version block.
constexpr char versionSection[] = ".versioninfo";

// Windows' own codes for these two failures, so the message reads like the platform's.
constexpr int errorResourceDataNotFound = 1812;
constexpr int errorResourceTypeNotFound = 1813;

[[noreturn]] void raise(int code, const QString& text)
{
    throw platform::OSError(code,
                            QStringLiteral("System Error.  Code: %1.\n%2").arg(code).arg(text));
}

template <typename T> std::optional<T> readAt(const QByteArray& data, quint64 offset)
{
    T value;
    if (offset > static_cast<quint64>(data.size()) || data.size() - offset < sizeof(T))
        return std::nullopt;
    std::memcpy(&value, data.constData() + offset, sizeof(T));
    return value;
}

// The bytes of the version section of an ELF file, or nothing.
template <typename Ehdr, typename Shdr>
std::optional<QByteArray> findSection(const QByteArray& data)
{
    const auto header = readAt<Ehdr>(data, 0);
    if (!header || header->e_shentsize != sizeof(Shdr) || header->e_shstrndx >= header->e_shnum)
        return std::nullopt;
    const auto names =
        readAt<Shdr>(data, header->e_shoff + quint64(header->e_shstrndx) * sizeof(Shdr));
    if (!names)
        return std::nullopt;
    for (quint64 i = 0; i < header->e_shnum; ++i) {
        const auto section = readAt<Shdr>(data, header->e_shoff + i * sizeof(Shdr));
        if (!section)
            return std::nullopt;
        // The name must lie whole in the file, terminating NUL included: a name cut off by the
        // end of a damaged file is not the section's.
        const quint64 nameOffset = quint64(names->sh_offset) + section->sh_name;
        if (nameOffset > static_cast<quint64>(data.size()) ||
            data.size() - nameOffset < sizeof versionSection ||
            std::memcmp(data.constData() + nameOffset, versionSection, sizeof versionSection) != 0)
            continue;
        if (section->sh_type == SHT_NOBITS ||
            section->sh_offset > static_cast<quint64>(data.size()) ||
            section->sh_size > data.size() - section->sh_offset)
            return std::nullopt;
        return data.mid(static_cast<qsizetype>(section->sh_offset),
                        static_cast<qsizetype>(section->sh_size));
    }
    return std::nullopt;
}

QByteArray readVersionBlock(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        const int code = errno ? errno : ENOENT;
        platform::RaiseOSError(
            code, QStringLiteral("Cannot read the version information of \"%1\"").arg(fileName));
    }
    const QByteArray data = file.readAll();
    std::optional<QByteArray> block;
    if (data.startsWith(ELFMAG)) {
        if (data.size() > EI_CLASS && data[EI_CLASS] == ELFCLASS64)
            block = findSection<Elf64_Ehdr, Elf64_Shdr>(data);
        else if (data.size() > EI_CLASS && data[EI_CLASS] == ELFCLASS32)
            block = findSection<Elf32_Ehdr, Elf32_Shdr>(data);
    }
    if (!block || block->size() < 6)
        raise(errorResourceTypeNotFound,
              QStringLiteral("The file \"%1\" has no version information.").arg(fileName));
    return *block;
}

// One node of the block: its key, its value bytes and where its children lie.
struct Node {
    QString key;
    QByteArray value;
    bool text = false;
    qsizetype childrenBegin = 0;
    qsizetype end = 0;
};

qsizetype align4(qsizetype offset)
{
    return (offset + 3) & ~qsizetype(3);
}

std::optional<Node> parseNode(const QByteArray& block, qsizetype offset, qsizetype limit)
{
    const auto length = readAt<quint16>(block, static_cast<quint64>(offset));
    const auto valueLength = readAt<quint16>(block, static_cast<quint64>(offset) + 2);
    const auto type = readAt<quint16>(block, static_cast<quint64>(offset) + 4);
    if (!length || !valueLength || !type || *length < 6 || offset + *length > limit)
        return std::nullopt;
    Node node;
    node.end = offset + *length;
    qsizetype pos = offset + 6;
    while (true) {
        const auto unit = readAt<char16_t>(block, static_cast<quint64>(pos));
        if (!unit || pos + 2 > node.end)
            return std::nullopt;
        pos += 2;
        if (*unit == 0)
            break;
        node.key += QChar(*unit);
    }
    pos = align4(pos);
    node.text = *type == 1;
    const qsizetype valueBytes = node.text ? qsizetype(*valueLength) * 2 : *valueLength;
    node.value = block.mid(pos, std::min(valueBytes, std::max<qsizetype>(0, node.end - pos)));
    node.childrenBegin = align4(pos + valueBytes);
    return node;
}

std::optional<Node> findChild(const QByteArray& block, const Node& parent, const QString& key)
{
    qsizetype pos = parent.childrenBegin;
    while (pos + 6 <= parent.end) {
        const auto child = parseNode(block, pos, parent.end);
        if (!child)
            return std::nullopt;
        if (child->key.compare(key, Qt::CaseInsensitive) == 0)
            return child;
        pos = align4(child->end);
    }
    return std::nullopt;
}

// Follows a query path such as "\StringFileInfo\040904B0\CompanyName" from the root.
std::optional<Node> query(const QByteArray& block, const QString& path)
{
    auto node = parseNode(block, 0, block.size());
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (!node)
            return std::nullopt;
        node = findChild(block, *node, part);
    }
    return node;
}

QString textOf(const Node& node)
{
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(node.value.constData()),
                                      node.value.size() / 2);
    const qsizetype nul = text.indexOf(QChar(0));
    return nul >= 0 ? text.left(nul) : text;
}

} // namespace

TEXEVersionData ReadEXEVersionData(const QString& fileName)
{
    const QByteArray block = readVersionBlock(fileName);
    const auto translation = query(block, QStringLiteral("\\VarFileInfo\\Translation\\"));
    if (!translation || translation->value.size() < 4)
        raise(errorResourceDataNotFound,
              QStringLiteral("The version information of \"%1\" has no translation table.")
                  .arg(fileName));
    const auto language = *readAt<quint16>(translation->value, 0);
    const auto codePage = *readAt<quint16>(translation->value, 2);
    const QString table = QStringLiteral("%1%2")
                              .arg(language, 4, 16, QLatin1Char('0'))
                              .arg(codePage, 4, 16, QLatin1Char('0'))
                              .toUpper();

    TEXEVersionData data;
    const std::pair<QString*, const char*> fields[] = {
        {&data.CompanyName, "\\CompanyName"},
        {&data.FileDescription, "\\FileDescription"},
        {&data.FileVersion, "\\FileVersion"},
        {&data.InternalName, "\\InternalName"},
        {&data.LegalCopyright, "\\LegalCopyright"},
        {&data.LegalTrademarks, "\\LegalTrademarks"},
        {&data.OriginalFileName, "\\OriginalFileName"},
        {&data.ProductName, "\\ProductName"},
        {&data.ProductVersion, "\\ProductVersion"},
        {&data.Comments, "\\Comments"},
        {&data.PrivateBuild, "\\PrivateBuild"},
        {&data.SpecialBuild, "\\SpecialBuild"},
    };
    for (const auto& [field, key] : fields) {
        const auto found =
            query(block, QStringLiteral("\\StringFileInfo\\") + table + QLatin1String(key));
        if (found && found->text)
            *field = textOf(*found);
    }
    return data;
}

std::uint32_t ReadFileVersionMS(const QString& fileName)
{
    try {
        const QByteArray block = readVersionBlock(fileName);
        const auto root = parseNode(block, 0, block.size());
        if (!root || root->value.size() < 16 || *readAt<quint32>(root->value, 0) != 0xFEEF04BD)
            return 0xFFFFFFFF;
        return *readAt<quint32>(root->value, 8);
    } catch (const platform::OSError&) {
        return 0xFFFFFFFF;
    }
}
