#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A program's version block: a small tree of named nodes, each with an
// optional value, stored in the program file at build time and read back from
// it. All numbers are little-endian; every node starts on a 4-byte boundary:
//
//   u32 length        the whole node with its children and padding, a multiple of 4
//   u32 valueLength   bytes of the value
//   u16 keyLength     bytes of the key
//   u16 type          0 binary value, 1 text value (8-bit, may end in NUL)
//   key               keyLength bytes, padded to 4
//   value             valueLength bytes, padded to 4
//   children          nodes, up to the end of the node
//
// The root's key is RootKey and its value the fixed part (FixedVersionInfo).
// Its children are "StringFileInfo" (one child per string table, named by
// language and code page as eight hexadecimal digits, holding one text node
// per key) and "VarFileInfo" (its child "Translation" holds pairs of 16-bit
// language and code page).
namespace lotfinch::platform {

// The ELF section that holds a program's version block.
inline constexpr std::string_view VersionSectionName = ".version_info";
inline constexpr std::string_view VersionRootKey = "VERSION_INFO";

struct VersionNode
{
    std::string key;
    bool text = false;
    std::string value;
    std::vector<VersionNode> children;
};

// The block for a tree; keys and values longer than the format holds are cut.
std::string BuildVersionBlock(const VersionNode &root);

// The value of the node that path names: components separated by '\', empty
// ones ignored, so "\" is the root's own value (the fixed part). Keys compare
// exactly. Nothing when the path does not lead to a node or the block is
// damaged on the way; never reads outside block.
std::optional<std::string_view> QueryVersionValue(std::string_view block, std::string_view path);

// A text value without its terminating NUL (and anything after one).
std::string VersionText(std::string_view value);

// The fixed part: the version numbers as four 16-bit parts each.
struct FixedVersionInfo
{
    static constexpr uint32_t Signature = 0x4C465649;
    static constexpr size_t Size = 32;

    std::array<uint16_t, 4> fileVersion{};
    std::array<uint16_t, 4> productVersion{};
    uint32_t flags = 0;
    uint32_t os = 0;
    uint32_t type = 0;

    std::string encode() const;
    // Nothing unless value is a fixed part with the right signature.
    static std::optional<FixedVersionInfo> decode(std::string_view value);
};

// "2.0.1.28" as its four parts; missing parts are 0; nothing if a part is not
// a number below 65536 or there are more than four.
std::optional<std::array<uint16_t, 4>> ParseVersionNumber(std::string_view text);

// The translation table's entries.
struct VersionTranslation
{
    uint16_t language = 0;
    uint16_t codePage = 0;
};
std::vector<VersionTranslation> DecodeTranslations(std::string_view value);
std::string EncodeTranslations(const std::vector<VersionTranslation> &entries);

} // namespace lotfinch::platform
