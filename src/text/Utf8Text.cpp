#include "text/Utf8Text.h"

#include <algorithm>
#include <array>

namespace lotfinch::text {

namespace {

// The well-formed sequences by their lead byte: how long they are and the
// range of their second byte, which keeps out overlong forms, surrogates and
// code points past U+10FFFF. Every further byte lies in 80..BF.
struct Lead
{
    unsigned char first, last;
    size_t length;
    unsigned char low, high;
};

constexpr std::array<Lead, 8> leads{{
    {0xC2, 0xDF, 2, 0x80, 0xBF},
    {0xE0, 0xE0, 3, 0xA0, 0xBF},
    {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F},
    {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF},
    {0xF4, 0xF4, 4, 0x80, 0x8F},
}};

} // namespace

size_t utf8CharLength(std::string_view text, size_t pos)
{
    if (pos >= text.size())
        return 0;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    for (const Lead &lead : leads) {
        if (byte(pos) < lead.first || byte(pos) > lead.last)
            continue;
        if (text.size() - pos < lead.length || byte(pos + 1) < lead.low || byte(pos + 1) > lead.high)
            return 1;
        for (size_t i = 2; i < lead.length; ++i)
            if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF)
                return 1;
        return lead.length;
    }
    return 1;
}

std::string_view utf8Prefix(std::string_view text, size_t bytes)
{
    if (bytes >= text.size())
        return text;
    // The cut is between two characters unless a well-formed character
    // starting at most three bytes before it reaches past it.
    size_t end = bytes;
    for (size_t start = bytes - std::min<size_t>(bytes, 3); start < bytes; ++start)
        if (start + utf8CharLength(text, start) > bytes) {
            end = start;
            break;
        }
    return text.substr(0, end);
}

std::string_view utf8FirstCharacters(std::string_view text, size_t count)
{
    size_t pos = 0;
    for (; count > 0 && pos < text.size(); --count)
        pos += utf8CharLength(text, pos);
    return text.substr(0, pos);
}

} // namespace lotfinch::text
