// Build-time tool: writes the program's version block to a file.
// Usage: versionblockgen OUTPUT MAJOR MINOR PATCH BUILD KEY=VALUE...
#include "versionblock.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s OUTPUT MAJOR MINOR PATCH BUILD KEY=VALUE...\n", argv[0]);
        return 2;
    }
    VersionBlockContent content;
    for (int i = 0; i < 4; ++i)
        content.version[i] = static_cast<std::uint16_t>(std::strtoul(argv[2 + i], nullptr, 10));
    VersionBlockTable table;
    for (int i = 6; i < argc; ++i) {
        const std::string pair = argv[i];
        const size_t eq = pair.find('=');
        if (eq == std::string::npos) {
            std::fprintf(stderr, "not KEY=VALUE: %s\n", argv[i]);
            return 2;
        }
        table.strings.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    }
    content.tables.push_back(table);
    const auto block = BuildVersionBlock(content);
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(block.data(), 1, block.size(), out) != block.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
