// Builds a version block (VS_VERSIONINFO, UTF-16 little-endian, 32-bit aligned) from the program's
// version and names. Used at build time to make the block that is embedded in the executable.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct VersionBlockTable {
    std::uint16_t language = 0x0409;
    std::uint16_t codePage = 0x04B0;
    std::vector<std::pair<std::string, std::string>> strings; // key, UTF-8 value
};

struct VersionBlockContent {
    std::uint16_t version[4] = {0, 0, 0, 0}; // major, minor, patch, build
    std::vector<VersionBlockTable> tables;   // one per translation, in order
};

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContent& content);
