#include "about/versionblock.h"
#include "about/versioninfo.h"
#include "platform/oserror.h"
#include "support/testenv.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <sys/stat.h>

namespace
{

template <typename T> void append(QByteArray& out, const T& value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A minimal ELF file of the given class: one section per entry of `sections` (name, bytes), then
// the section-name table. Enough for a reader that walks the section headers.
template <typename Ehdr, typename Shdr, unsigned char elfClass>
QByteArray elfWith(const std::vector<std::pair<std::string, QByteArray>>& sections)
{
    QByteArray names(1, '\0');
    QByteArray body;
    std::vector<Shdr> headers(1); // the null section
    for (const auto& [name, bytes] : sections) {
        Shdr header{};
        header.sh_name = static_cast<decltype(header.sh_name)>(names.size());
        header.sh_type = SHT_PROGBITS;
        header.sh_offset = sizeof(Ehdr) + body.size();
        header.sh_size = bytes.size();
        names.append(name.data(), static_cast<qsizetype>(name.size()));
        names.append('\0');
        body.append(bytes);
        body.append(QByteArray((4 - body.size() % 4) % 4, '\0'));
        headers.push_back(header);
    }
    Shdr nameTable{};
    nameTable.sh_name = static_cast<decltype(nameTable.sh_name)>(names.size());
    names.append(".shstrtab", 10);
    nameTable.sh_type = SHT_STRTAB;
    nameTable.sh_offset = sizeof(Ehdr) + body.size();
    nameTable.sh_size = names.size();
    body.append(names);
    body.append(QByteArray((8 - body.size() % 8) % 8, '\0'));
    headers.push_back(nameTable);

    Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = elfClass;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_version = EV_CURRENT;
    header.e_ehsize = sizeof(Ehdr);
    header.e_shoff = sizeof(Ehdr) + body.size();
    header.e_shentsize = sizeof(Shdr);
    header.e_shnum = static_cast<decltype(header.e_shnum)>(headers.size());
    header.e_shstrndx = static_cast<decltype(header.e_shstrndx)>(headers.size() - 1);

    QByteArray file;
    append(file, header);
    file.append(body);
    for (const Shdr& section : headers)
        append(file, section);
    return file;
}

QByteArray elf64(const std::vector<std::pair<std::string, QByteArray>>& sections)
{
    return elfWith<Elf64_Ehdr, Elf64_Shdr, ELFCLASS64>(sections);
}

QByteArray blockOf(const VersionBlockContent& content)
{
    const auto bytes = BuildVersionBlock(content);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

QString writeTestFile(const QByteArray& bytes)
{
    const QString path =
        testenv::NewFolder(QStringLiteral("versioninfo")) + QStringLiteral("/program");
    testenv::WriteFile(path, bytes);
    return path;
}

QString executableWith(const VersionBlockContent& content)
{
    return writeTestFile(
        elf64({{".text", QByteArray(16, '\x90')}, {".versioninfo", blockOf(content)}}));
}

VersionBlockContent contentWith(std::vector<VersionBlockTable> tables)
{
    VersionBlockContent content;
    content.version[0] = 3;
    content.version[1] = 14;
    content.tables = std::move(tables);
    return content;
}

std::vector<QString> fieldsOf(const TEXEVersionData& data)
{
    return {data.CompanyName,    data.FileDescription, data.FileVersion,      data.InternalName,
            data.LegalCopyright, data.LegalTrademarks, data.OriginalFileName, data.ProductName,
            data.ProductVersion, data.Comments,        data.PrivateBuild,     data.SpecialBuild};
}

TEST(VersionInfo, BlockWithTwoNamesLeavesTheOtherTenEmpty)
{
    VersionBlockTable table;
    table.strings = {{"ProductName", "Grand Tool"}, {"CompanyName", "Maker Ltd"}};
    const TEXEVersionData data = ReadEXEVersionData(executableWith(contentWith({table})));
    std::vector<QString> expected(12);
    expected[0] = QStringLiteral("Maker Ltd");
    expected[7] = QStringLiteral("Grand Tool");
    EXPECT_EQ(fieldsOf(data), expected);
}

TEST(VersionInfo, EveryKeyLandsInItsOwnField)
{
    const char* keys[] = {"CompanyName",    "FileDescription", "FileVersion",      "InternalName",
                          "LegalCopyright", "LegalTrademarks", "OriginalFileName", "ProductName",
                          "ProductVersion", "Comments",        "PrivateBuild",     "SpecialBuild"};
    VersionBlockTable table;
    std::vector<QString> expected;
    for (const char* key : keys) {
        // Non-ASCII text and odd lengths exercise the UTF-16 decoding and the padding.
        const std::string value =
            std::string(key) + " \xC3\xA7\xE2\x82\xAC" + std::string(std::strlen(key) % 3, 'x');
        table.strings.emplace_back(key, value);
        expected.push_back(QString::fromStdString(value));
    }
    EXPECT_EQ(fieldsOf(ReadEXEVersionData(executableWith(contentWith({table})))), expected);
}

TEST(VersionInfo, TwoTranslationsUseTheFirstTable)
{
    VersionBlockTable german{
        0x0407, 0x04E4, {{"CompanyName", "Erste"}, {"ProductName", "Werkzeug"}}};
    VersionBlockTable english{
        0x0409, 0x04B0, {{"CompanyName", "Second"}, {"Comments", "only here"}}};
    const TEXEVersionData data = ReadEXEVersionData(executableWith(contentWith({german, english})));
    EXPECT_EQ(data.CompanyName, QStringLiteral("Erste"));
    EXPECT_EQ(data.ProductName, QStringLiteral("Werkzeug"));
    EXPECT_TRUE(data.Comments.isEmpty());
}

TEST(VersionInfo, ThirtyTwoBitFilesAreReadToo)
{
    VersionBlockTable table;
    table.strings = {{"CompanyName", "Small"}};
    const QByteArray file = elfWith<Elf32_Ehdr, Elf32_Shdr, ELFCLASS32>(
        {{".versioninfo", blockOf(contentWith({table}))}});
    EXPECT_EQ(ReadEXEVersionData(writeTestFile(file)).CompanyName, QStringLiteral("Small"));
    EXPECT_EQ(ReadFileVersionMS(writeTestFile(file)), (3u << 16) | 14u);
}

// The block in a section whose name lies at the very end of the file and is cut off there after
// ".vers": a damaged file, not one with the section.
QByteArray elfWithCutOffName()
{
    QByteArray file = elf64({{".data", blockOf(contentWith({{}}))}});
    Elf64_Ehdr header;
    std::memcpy(&header, file.constData(), sizeof header);
    Elf64_Shdr names;
    std::memcpy(&names, file.constData() + header.e_shoff + header.e_shstrndx * sizeof(Elf64_Shdr),
                sizeof names);
    Elf64_Shdr data;
    const auto dataAt = header.e_shoff + sizeof(Elf64_Shdr);
    std::memcpy(&data, file.constData() + dataAt, sizeof data);
    data.sh_name = static_cast<Elf64_Word>(file.size() - names.sh_offset);
    std::memcpy(file.data() + dataAt, &data, sizeof data);
    return file + QByteArray(".vers");
}

struct Unreadable {
    const char* what;
    QString path;
    const char* messagePart;
    bool hasFixedVersion = false;
};

TEST(VersionInfo, FilesWithoutABlockRaise)
{
    const QString folder = testenv::NewFolder(QStringLiteral("noblock"));
    const QString locked = folder + QStringLiteral("/locked");
    testenv::WriteFile(locked, elf64({{".versioninfo", blockOf(contentWith({{}}))}}));
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);

    const Unreadable cases[] = {
        {"no such section", writeTestFile(elf64({{".text", QByteArray(64, 'a')}})),
         "has no version information"},
        {"a section whose name only starts alike",
         writeTestFile(elf64({{".versioninfo.old", blockOf(contentWith({{}}))}})),
         "has no version information"},
        {"a section name cut off by the end of the file", writeTestFile(elfWithCutOffName()),
         "has no version information"},
        {"not an ELF file", writeTestFile("#!/bin/sh\necho hello\n"), "has no version information"},
        {"an empty file", writeTestFile({}), "has no version information"},
        {"no translation table", writeTestFile(elf64({{".versioninfo", blockOf(contentWith({}))}})),
         "has no translation table", true},
        {"a missing file", folder + QStringLiteral("/absent"), "No such file or directory"},
        {"a file without read permission", locked, "Permission denied"},
        {"a folder", folder, "Cannot read"},
    };
    for (const Unreadable& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            ReadEXEVersionData(c.path);
            ADD_FAILURE() << "no error raised";
        } catch (const platform::OSError& error) {
            EXPECT_NE(error.code(), 0);
            EXPECT_TRUE(error.message().contains(QLatin1String(c.messagePart))) << error.what();
            EXPECT_TRUE(error.message().contains(c.path)) << error.what();
        }
        EXPECT_EQ(ReadFileVersionMS(c.path), c.hasFixedVersion ? (3u << 16) | 14u : 0xFFFFFFFFu);
    }
}

TEST(VersionInfo, DamagedBlocksNeverReadOutsideTheFile)
{
    VersionBlockTable table;
    table.strings = {{"CompanyName", "Maker"}, {"ProductName", "Tool"}};
    const QByteArray block = blockOf(contentWith({table}));
    // Every truncation of the block, and the block with each length word inflated, must either
    // raise or give a result; the sanitizers catch any read past the bytes.
    for (qsizetype size = 0; size <= block.size(); ++size) {
        const QString path = writeTestFile(elf64({{".versioninfo", block.left(size)}}));
        try {
            const TEXEVersionData data = ReadEXEVersionData(path);
            if (size < block.size()) {
                EXPECT_TRUE(data.ProductName.isEmpty() ||
                            data.ProductName == QStringLiteral("Tool"));
            }
        } catch (const platform::OSError&) {
            EXPECT_LT(size, block.size());
        }
    }
    for (qsizetype at = 0; at + 1 < block.size(); at += 2) {
        QByteArray damaged = block;
        damaged[at] = '\xFF';
        damaged[at + 1] = '\x7F';
        try {
            ReadEXEVersionData(writeTestFile(elf64({{".versioninfo", damaged}})));
        } catch (const platform::OSError&) {
        }
    }
}

TEST(VersionInfo, TheProgramReadsItsOwnBlock)
{
    const QString program = QStringLiteral(GRANDORA_EXECUTABLE);
    const TEXEVersionData data = ReadEXEVersionData(program);
    EXPECT_EQ(data.CompanyName, QStringLiteral("Zelmora"));
    EXPECT_EQ(data.ProductName, QStringLiteral("Grandora"));
    EXPECT_EQ(data.FileVersion, QStringLiteral("1.0.0.0"));
    EXPECT_EQ(ReadFileVersionMS(program), 0x00010000u);
}

} // namespace
