#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/VersionBlock.h"

// Small ELF files made up for tests: a file header, the sections' bytes and
// the section header table (a null section, the given ones, the names).
namespace lotfinch::test {

struct ElfFileOptions
{
    bool is64 = true;
    bool bigEndian = false;
};

inline std::string MakeElfFile(const std::vector<std::pair<std::string, std::string>> &sections,
                               ElfFileOptions options = {})
{
    const size_t headerSize = options.is64 ? 0x40 : 0x34, entrySize = options.is64 ? 64 : 40;
    const size_t wordSize = options.is64 ? 8 : 4;
    auto put = [&](std::string &out, size_t at, uint64_t value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            out[at + (options.bigEndian ? width - 1 - i : i)] = static_cast<char>(value >> (8 * i) & 0xFF);
    };
    std::string file(headerSize, '\0');
    file.replace(0, 4,
                 "\x7F"
                 "ELF");
    file[4] = options.is64 ? 2 : 1;
    file[5] = options.bigEndian ? 2 : 1;
    file[6] = 1;

    std::string names(1, '\0');
    struct Placed
    {
        size_t name, offset, size;
    };
    std::vector<Placed> placed;
    for (const auto &[name, data] : sections) {
        placed.push_back({names.size(), file.size(), data.size()});
        names += name + '\0';
        file += data;
    }
    placed.push_back({names.size(), file.size(), 0});
    names += std::string(".shstrtab") + '\0';
    placed.back().size = names.size();
    file += names;
    while (file.size() % 8 != 0)
        file += '\0';

    const size_t tableAt = file.size();
    file.append(entrySize * (placed.size() + 1), '\0');
    for (size_t i = 0; i < placed.size(); ++i) {
        const size_t entry = tableAt + entrySize * (i + 1);
        put(file, entry, placed[i].name, 4);
        put(file, entry + 4, i + 1 == placed.size() ? 3 : 1, 4); // string table, or program bits
        put(file, entry + (options.is64 ? 0x18 : 0x10), placed[i].offset, wordSize);
        put(file, entry + (options.is64 ? 0x20 : 0x14), placed[i].size, wordSize);
    }
    put(file, options.is64 ? 0x28 : 0x20, tableAt, wordSize);
    put(file, options.is64 ? 0x3A : 0x2E, entrySize, 2);
    put(file, options.is64 ? 0x3C : 0x30, placed.size() + 1, 2);
    put(file, options.is64 ? 0x3E : 0x32, placed.size(), 2);
    return file;
}

// A version block as the build writes it, with the given texts in the string
// table of US English, code page 1252.
inline std::string MakeVersionBlock(const std::vector<std::pair<std::string, std::string>> &texts,
                                    const std::string &fileVersion = "2.0.1.28")
{
    using platform::VersionNode;
    platform::FixedVersionInfo fixed;
    fixed.fileVersion = platform::ParseVersionNumber(fileVersion).value_or(std::array<uint16_t, 4>{});
    VersionNode table{"040904e4", false, {}, {}};
    for (const auto &[key, value] : texts)
        table.children.push_back({key, true, value + '\0', {}});
    VersionNode root{std::string(platform::VersionRootKey), false, fixed.encode(), {}};
    root.children.push_back({"StringFileInfo", false, {}, {table}});
    root.children.push_back(
        {"VarFileInfo", false, {}, {{"Translation", false, platform::EncodeTranslations({{0x0409, 1252}}), {}}}});
    return platform::BuildVersionBlock(root);
}

} // namespace lotfinch::test
