#include "platform/VersionBlock.h"

#include <charconv>
#include <limits>

namespace lotfinch::platform {

namespace {

constexpr size_t HeaderSize = 12;

uint32_t readU32(std::string_view bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

uint16_t readU16(std::string_view bytes, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                                             << 8);
}

void putU32(std::string &out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

void putU16(std::string &out, uint16_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void padTo4(std::string &out)
{
    while (out.size() % 4 != 0)
        out += '\0';
}

constexpr uint64_t align4(uint64_t n)
{
    return (n + 3) & ~uint64_t{3};
}

// One node of a block, checked to lie inside its parent.
struct Node
{
    uint64_t end = 0;
    std::string_view key;
    std::string_view value;
    uint64_t children = 0;
};

std::optional<Node> nodeAt(std::string_view block, uint64_t at, uint64_t limit)
{
    if (at % 4 != 0 || limit > block.size() || at > limit || limit - at < HeaderSize)
        return std::nullopt;
    const uint64_t length = readU32(block, at);
    const uint64_t valueLength = readU32(block, at + 4);
    const uint64_t keyLength = readU16(block, at + 8);
    if (length < HeaderSize || length % 4 != 0 || length > limit - at)
        return std::nullopt;
    Node node;
    node.end = at + length;
    const uint64_t keyAt = at + HeaderSize;
    if (keyLength > node.end - keyAt)
        return std::nullopt;
    const uint64_t valueAt = align4(keyAt + keyLength);
    if (valueAt > node.end || valueLength > node.end - valueAt)
        return std::nullopt;
    node.key = block.substr(keyAt, keyLength);
    node.value = block.substr(valueAt, valueLength);
    node.children = align4(valueAt + valueLength);
    return node;
}

void appendNode(std::string &out, const VersionNode &node)
{
    const size_t start = out.size();
    const std::string_view key = std::string_view(node.key).substr(0, std::numeric_limits<uint16_t>::max());
    putU32(out, 0); // length, filled in below
    putU32(out, static_cast<uint32_t>(node.value.size()));
    putU16(out, static_cast<uint16_t>(key.size()));
    putU16(out, node.text ? 1 : 0);
    out += key;
    padTo4(out);
    out += node.value;
    padTo4(out);
    for (const VersionNode &child : node.children)
        appendNode(out, child);
    const auto length = static_cast<uint32_t>(out.size() - start);
    for (int i = 0; i < 4; ++i)
        out[start + i] = static_cast<char>(length >> (8 * i) & 0xFF);
}

} // namespace

std::string BuildVersionBlock(const VersionNode &root)
{
    std::string out;
    appendNode(out, root);
    return out;
}

std::optional<std::string_view> QueryVersionValue(std::string_view block, std::string_view path)
{
    std::optional<Node> node = nodeAt(block, 0, block.size());
    if (!node || node->key != VersionRootKey)
        return std::nullopt;
    size_t from = 0;
    while (from <= path.size()) {
        size_t to = std::min(path.find('\\', from), path.size());
        std::string_view wanted = path.substr(from, to - from);
        from = to + 1;
        if (wanted.empty())
            continue;
        // Each child is at least a header long, so the walk always moves on.
        std::optional<Node> found;
        for (uint64_t at = node->children; at < node->end && !found;) {
            std::optional<Node> child = nodeAt(block, at, node->end);
            if (!child)
                return std::nullopt;
            if (child->key == wanted)
                found = child;
            at = child->end;
        }
        if (!found)
            return std::nullopt;
        node = found;
    }
    return node->value;
}

std::string VersionText(std::string_view value)
{
    return std::string(value.substr(0, value.find('\0')));
}

std::string FixedVersionInfo::encode() const
{
    std::string out;
    putU32(out, Signature);
    for (uint16_t part : fileVersion)
        putU16(out, part);
    for (uint16_t part : productVersion)
        putU16(out, part);
    putU32(out, flags);
    putU32(out, os);
    putU32(out, type);
    return out;
}

std::optional<FixedVersionInfo> FixedVersionInfo::decode(std::string_view value)
{
    if (value.size() < Size || readU32(value, 0) != Signature)
        return std::nullopt;
    FixedVersionInfo info;
    for (size_t i = 0; i < 4; ++i) {
        info.fileVersion[i] = readU16(value, 4 + 2 * i);
        info.productVersion[i] = readU16(value, 12 + 2 * i);
    }
    info.flags = readU32(value, 20);
    info.os = readU32(value, 24);
    info.type = readU32(value, 28);
    return info;
}

std::optional<std::array<uint16_t, 4>> ParseVersionNumber(std::string_view text)
{
    std::array<uint16_t, 4> parts{};
    size_t count = 0;
    const char *at = text.data();
    const char *end = text.data() + text.size();
    while (at < end) {
        if (count == parts.size())
            return std::nullopt;
        auto [next, error] = std::from_chars(at, end, parts[count++]);
        if (error != std::errc() || (next != end && *next != '.') || next + 1 == end)
            return std::nullopt;
        at = next == end ? end : next + 1;
    }
    if (count == 0)
        return std::nullopt;
    return parts;
}

std::vector<VersionTranslation> DecodeTranslations(std::string_view value)
{
    std::vector<VersionTranslation> entries;
    for (size_t at = 0; at + 4 <= value.size(); at += 4)
        entries.push_back({readU16(value, at), readU16(value, at + 2)});
    return entries;
}

std::string EncodeTranslations(const std::vector<VersionTranslation> &entries)
{
    std::string out;
    for (const VersionTranslation &entry : entries) {
        putU16(out, entry.language);
        putU16(out, entry.codePage);
    }
    return out;
}

} // namespace lotfinch::platform
