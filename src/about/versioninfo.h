// Reads the version block (a VS_VERSIONINFO structure) of an executable: its string table and
// its fixed file version.
#pragma once

#include <QString>
#include <cstdint>

struct TEXEVersionData {
    QString CompanyName;
    QString FileDescription;
    QString FileVersion;
    QString InternalName;
    QString LegalCopyright;
    QString LegalTrademarks;
    QString OriginalFileName;
    QString ProductName;
    QString ProductVersion;
    QString Comments;
    QString PrivateBuild;
    QString SpecialBuild;
};

// The string table of the first translation of the version block of `fileName`. Raises
// platform::OSError when the file cannot be read, has no version block or no translation table.
TEXEVersionData ReadEXEVersionData(const QString& fileName);

// The most significant 32 bits of the fixed file version (high word major, low word minor), or
// 0xFFFFFFFF when it cannot be read.
std::uint32_t ReadFileVersionMS(const QString& fileName);
