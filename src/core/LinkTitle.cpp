#include "core/LinkTitle.h"

#include <QString>
#include <algorithm>
#include <array>

#include "text/AnsiText.h"

namespace lotfinch::core {

namespace {

constexpr char32_t replacement = 0xFFFD;
constexpr char32_t noBreakSpace = 0xA0;

struct NamedReference
{
    std::string_view name;
    char32_t code;
};

// The references titles on result pages use; the rest stay as written.
constexpr std::array<NamedReference, 48> namedReferences = {{
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},      {"apos", '\''},    {"nbsp", 0xA0},
    {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122}, {"hellip", 0x2026}, {"ndash", 0x2013}, {"mdash", 0x2014},
    {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},  {"bull", 0x2022},  {"euro", 0x20AC},
    {"pound", 0xA3},   {"yen", 0xA5},     {"cent", 0xA2},    {"deg", 0xB0},      {"plusmn", 0xB1},  {"times", 0xD7},
    {"frac12", 0xBD},  {"frac14", 0xBC},  {"frac34", 0xBE},  {"sup2", 0xB2},     {"micro", 0xB5},   {"middot", 0xB7},
    {"laquo", 0xAB},   {"raquo", 0xBB},   {"eacute", 0xE9},  {"egrave", 0xE8},   {"aacute", 0xE1},  {"agrave", 0xE0},
    {"ouml", 0xF6},    {"uuml", 0xFC},    {"auml", 0xE4},    {"Ouml", 0xD6},     {"Uuml", 0xDC},    {"Auml", 0xC4},
    {"szlig", 0xDF},   {"ccedil", 0xE7},  {"ntilde", 0xF1},  {"oslash", 0xF8},   {"aring", 0xE5},   {"iexcl", 0xA1},
}};

bool isSpace(char32_t c)
{
    return c <= ' ' || c == noBreakSpace;
}

bool isAsciiLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text::sameTextAnsi(text.substr(0, prefix.size()), prefix);
}

int digitValue(char c, int base)
{
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : 99;
    return v < base ? v : -1;
}

// The character reference at the start of text ("&..."): its code and how
// many characters it takes; 0 characters when it is not one.
std::pair<char32_t, size_t> referenceAt(std::string_view text)
{
    if (text.size() >= 3 && text[1] == '#') {
        bool hex = text[2] == 'x' || text[2] == 'X';
        int base = hex ? 16 : 10;
        size_t i = hex ? 3 : 2;
        uint32_t code = 0;
        size_t digits = 0;
        for (; i < text.size() && digitValue(text[i], base) >= 0; ++i, ++digits)
            code = std::min<uint32_t>(
                code * static_cast<uint32_t>(base) + static_cast<uint32_t>(digitValue(text[i], base)), 0x110000);
        if (digits == 0)
            return {0, 0};
        if (i < text.size() && text[i] == ';')
            ++i;
        bool valid = code != 0 && code < 0x110000 && (code < 0xD800 || code > 0xDFFF);
        return {valid ? static_cast<char32_t>(code) : replacement, i};
    }
    size_t end = 1;
    while (end < text.size() && end <= 8 && isAsciiLetterOrDigit(text[end]))
        ++end;
    if (end == 1 || end >= text.size() || text[end] != ';')
        return {0, 0};
    std::string_view name = text.substr(1, end - 1);
    for (const auto &named : namedReferences)
        if (named.name == name)
            return {named.code, end + 1};
    return {0, 0};
}

void appendCode(std::string &out, char32_t code)
{
    if (code < 0x80)
        out += static_cast<char>(code);
    else
        out += text::toAnsi(QString::fromUcs4(&code, 1));
}

// Whether a tag (the text between "<" and ">") breaks the line or starts a
// block, so that the words on either side of it stay apart.
bool separatesWords(std::string_view tag)
{
    if (!tag.empty() && tag[0] == '/')
        tag.remove_prefix(1);
    size_t end = 0;
    while (end < tag.size() && isAsciiLetterOrDigit(tag[end]))
        ++end;
    const std::string name = text::lowerAnsi(tag.substr(0, end));
    static constexpr std::string_view blocks[] = {"br", "p",  "div", "li", "td", "th", "tr",
                                                  "h1", "h2", "h3",  "h4", "h5", "h6"};
    return std::find(std::begin(blocks), std::end(blocks), name) != std::end(blocks);
}

// The value of a tag's attribute (tag: the text between "<" and ">").
std::string_view attributeOf(std::string_view tag, std::string_view name)
{
    for (size_t at = 0; at + name.size() <= tag.size(); ++at) {
        if (!(at > 0 && isSpace(static_cast<unsigned char>(tag[at - 1]))) || !startsWithNoCase(tag.substr(at), name))
            continue;
        size_t i = at + name.size();
        while (i < tag.size() && isSpace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (i == tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && isSpace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            size_t close = tag.find(tag[i], i + 1);
            return tag.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
        }
        size_t end = i;
        while (end < tag.size() && !isSpace(static_cast<unsigned char>(tag[end])))
            ++end;
        return tag.substr(i, end - i);
    }
    return {};
}

// The visible text of markup (or of plain text when markup is false), with
// references decoded and white space collapsed, up to the title's length.
// Reports the alt text of the first image it passes.
std::string collapsedText(std::string_view text, bool markup, std::string_view *firstImageAlt)
{
    std::string out;
    bool gap = false, imageSeen = false;
    auto append = [&](char32_t c) {
        if (isSpace(c)) {
            gap = true;
            return;
        }
        if (gap && !out.empty())
            out += ' ';
        gap = false;
        appendCode(out, c);
    };
    for (size_t i = 0; i < text.size() && out.size() < MaxLinkTitle;) {
        char c = text[i];
        if (c == '<' && markup) {
            size_t close = text.find('>', i + 1);
            std::string_view tag = text.substr(i + 1, close == std::string_view::npos ? close : close - i - 1);
            if (!imageSeen && firstImageAlt && startsWithNoCase(tag, "img") &&
                (tag.size() == 3 || isSpace(static_cast<unsigned char>(tag[3])) || tag[3] == '/')) {
                imageSeen = true;
                *firstImageAlt = attributeOf(tag, "alt");
            }
            if (separatesWords(tag))
                gap = true;
            i = close == std::string_view::npos ? text.size() : close + 1;
        } else if (auto [code, length] = c == '&' ? referenceAt(text.substr(i)) : std::pair<char32_t, size_t>{0, 0};
                   length > 0) {
            append(code);
            i += length;
        } else if (c > ' ' && static_cast<unsigned char>(c) < 0x80) {
            // A run of plain characters goes in at once.
            size_t end = i + 1;
            while (end < text.size() && text[end] > ' ' && static_cast<unsigned char>(text[end]) < 0x80 &&
                   text[end] != '&' && !(text[end] == '<' && markup))
                ++end;
            if (gap && !out.empty())
                out += ' ';
            gap = false;
            out.append(text.substr(i, end - i));
            i = end;
        } else {
            append(static_cast<unsigned char>(c));
            ++i;
        }
    }
    out.resize(std::min(out.size(), MaxLinkTitle));
    return out;
}

} // namespace

std::string DecodedReferences(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t amp = text.find('&', i);
        out.append(text.substr(i, amp == std::string_view::npos ? std::string_view::npos : amp - i));
        if (amp == std::string_view::npos)
            break;
        auto [code, length] = referenceAt(text.substr(amp));
        if (length > 0)
            appendCode(out, code);
        else
            out += '&';
        i = amp + std::max<size_t>(length, 1);
    }
    return out;
}

std::string LinkElementTitle(std::string_view content)
{
    std::string_view alt;
    std::string title = collapsedText(content, true, &alt);
    if (title.empty() && !alt.empty())
        title = collapsedText(alt, false, nullptr);
    return title;
}

} // namespace lotfinch::core
