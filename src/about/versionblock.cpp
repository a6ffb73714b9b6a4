#include "versionblock.h"

#include <cstdio>

namespace
{

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value)
{
    put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

void align4(Bytes& out)
{
    while (out.size() % 4 != 0)
        out.push_back(0);
}

// UTF-8 to UTF-16 code units, with a terminating NUL.
std::vector<std::uint16_t> utf16(const std::string& text)
{
    std::vector<std::uint16_t> units;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        std::uint32_t cp;
        int length;
        if (byte < 0x80) {
            cp = byte;
            length = 1;
        } else if ((byte >> 5) == 6) {
            cp = byte & 0x1F;
            length = 2;
        } else if ((byte >> 4) == 14) {
            cp = byte & 0x0F;
            length = 3;
        } else {
            cp = byte & 0x07;
            length = 4;
        }
        for (int k = 1; k < length && i + static_cast<size_t>(k) < text.size(); ++k)
            cp = (cp << 6) | (static_cast<std::uint8_t>(text[i + static_cast<size_t>(k)]) & 0x3F);
        i += static_cast<size_t>(length);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    units.push_back(0);
    return units;
}

// One node: wLength, wValueLength, wType, szKey, padding, value, padding, children.
Bytes node(const std::string& key, const Bytes& value, std::uint16_t valueLength, bool text,
           const std::vector<Bytes>& children)
{
    Bytes out;
    put16(out, 0); // length, patched below
    put16(out, valueLength);
    put16(out, text ? 1 : 0);
    for (std::uint16_t unit : utf16(key))
        put16(out, unit);
    align4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        align4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<std::uint8_t>(out.size() & 0xFF);
    out[1] = static_cast<std::uint8_t>(out.size() >> 8);
    return out;
}

} // namespace

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContent& content)
{
    const std::uint32_t ms = (std::uint32_t(content.version[0]) << 16) | content.version[1];
    const std::uint32_t ls = (std::uint32_t(content.version[2]) << 16) | content.version[3];
    Bytes fixed;
    put32(fixed, 0xFEEF04BD); // signature
    put32(fixed, 0x00010000); // structure version
    put32(fixed, ms);         // file version
    put32(fixed, ls);
    put32(fixed, ms); // product version
    put32(fixed, ls);
    put32(fixed, 0x3F);    // flags mask
    put32(fixed, 0);       // flags
    put32(fixed, 0x40004); // VOS_NT_WINDOWS32, as readers of the block expect
    put32(fixed, 1);       // VFT_APP
    put32(fixed, 0);
    put32(fixed, 0);
    put32(fixed, 0);

    std::vector<Bytes> tables;
    Bytes translations;
    for (const VersionBlockTable& table : content.tables) {
        std::vector<Bytes> strings;
        for (const auto& [key, value] : table.strings) {
            Bytes valueBytes;
            const std::vector<std::uint16_t> units = utf16(value);
            for (std::uint16_t unit : units)
                put16(valueBytes, unit);
            strings.push_back(
                node(key, valueBytes, static_cast<std::uint16_t>(units.size()), true, {}));
        }
        char name[9];
        std::snprintf(name, sizeof name, "%04X%04X", table.language, table.codePage);
        tables.push_back(node(name, {}, 0, true, strings));
        put16(translations, table.language);
        put16(translations, table.codePage);
    }
    std::vector<Bytes> children;
    children.push_back(node("StringFileInfo", {}, 0, true, tables));
    const Bytes var = node("Translation", translations,
                           static_cast<std::uint16_t>(translations.size()), false, {});
    children.push_back(node("VarFileInfo", {}, 0, true, {var}));
    return node("VS_VERSION_INFO", fixed, static_cast<std::uint16_t>(fixed.size()), false,
                children);
}
