#include "core/ResultPage.h"

#include <array>
#include <optional>
#include <string>

#include "core/LinkTitle.h"
#include "text/AnsiText.h"

namespace lotfinch::core {

namespace {

constexpr size_t npos = std::string_view::npos;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isNameChar(char c)
{
    return isLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':';
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text::sameTextAnsi(text.substr(0, prefix.size()), prefix);
}

// One start or end tag of a page.
struct Tag
{
    std::string_view name;
    std::string_view attributes; // the text after the name, up to the closing ">"
    size_t start;                // the "<"
    size_t end;                  // just past the ">"
    bool closing;
};

// The end of a tag whose attributes start at from: the ">" that no quoted
// attribute value holds; npos when the page ends first.
size_t tagEnd(std::string_view page, size_t from)
{
    bool afterEquals = false;
    for (size_t i = from; i < page.size(); ++i) {
        const char c = page[i];
        if (c == '>')
            return i;
        if ((c == '"' || c == '\'') && afterEquals) {
            i = page.find(c, i + 1);
            if (i == npos)
                return npos;
            afterEquals = false;
        } else if (!isSpace(c)) {
            afterEquals = c == '=';
        }
    }
    return npos;
}

// Where the end tag of a raw-text element (a script or a style, whose
// content is no markup) starts, at or after from; npos without one.
size_t rawTextEnd(std::string_view page, size_t from, std::string_view name)
{
    for (size_t at = page.find("</", from); at != npos; at = page.find("</", at + 2))
        if (startsWithNoCase(page.substr(at + 2), name) &&
            (at + 2 + name.size() >= page.size() || !isNameChar(page[at + 2 + name.size()])))
            return at;
    return npos;
}

// Calls visit(tag) for every tag in page order until it returns false.
// Comments and the content of scripts and styles hold no tags.
template <typename Visit> void forEachTag(std::string_view page, Visit visit)
{
    for (size_t at = page.find('<'); at != npos; at = page.find('<', at)) {
        if (page.substr(at).starts_with("<!--")) {
            size_t close = page.find("-->", at + 4);
            if (close == npos)
                return;
            at = close + 3;
            continue;
        }
        const bool closing = at + 1 < page.size() && page[at + 1] == '/';
        const size_t nameStart = at + 1 + (closing ? 1 : 0);
        if (nameStart >= page.size() || !isLetter(page[nameStart])) {
            ++at;
            continue;
        }
        size_t nameEnd = nameStart;
        while (nameEnd < page.size() && isNameChar(page[nameEnd]))
            ++nameEnd;
        const size_t close = tagEnd(page, nameEnd);
        if (close == npos)
            return;
        const Tag tag{page.substr(nameStart, nameEnd - nameStart), page.substr(nameEnd, close - nameEnd), at, close + 1,
                      closing};
        if (!visit(tag))
            return;
        at = close + 1;
        if (!closing && (text::sameTextAnsi(tag.name, "script") || text::sameTextAnsi(tag.name, "style"))) {
            at = rawTextEnd(page, at, tag.name);
            if (at == npos)
                return;
        }
    }
}

// The value of a tag's attribute; nothing when the tag has no such attribute,
// an empty value for one without "=".
std::optional<std::string_view> attributeOf(std::string_view attributes, std::string_view name)
{
    size_t i = 0;
    while (i < attributes.size()) {
        while (i < attributes.size() && (isSpace(attributes[i]) || attributes[i] == '/'))
            ++i;
        const size_t nameStart = i;
        while (i < attributes.size() && !isSpace(attributes[i]) && attributes[i] != '=' && attributes[i] != '/')
            ++i;
        const std::string_view found = attributes.substr(nameStart, i - nameStart);
        while (i < attributes.size() && isSpace(attributes[i]))
            ++i;
        std::string_view value;
        if (i < attributes.size() && attributes[i] == '=') {
            ++i;
            while (i < attributes.size() && isSpace(attributes[i]))
                ++i;
            if (i < attributes.size() && (attributes[i] == '"' || attributes[i] == '\'')) {
                size_t close = attributes.find(attributes[i], i + 1);
                if (close == npos)
                    close = attributes.size();
                value = attributes.substr(i + 1, close - i - 1);
                i = close + 1;
            } else {
                const size_t valueStart = i;
                while (i < attributes.size() && !isSpace(attributes[i]))
                    ++i;
                value = attributes.substr(valueStart, i - valueStart);
            }
        }
        if (!found.empty() && text::sameTextAnsi(found, name))
            return value;
    }
    return std::nullopt;
}

// Whether the tag's class attribute names the class.
bool hasClass(const Tag &tag, std::string_view name)
{
    const std::optional<std::string_view> classes = attributeOf(tag.attributes, "class");
    if (!classes)
        return false;
    for (size_t i = 0; i < classes->size();) {
        while (i < classes->size() && isSpace((*classes)[i]))
            ++i;
        size_t end = i;
        while (end < classes->size() && !isSpace((*classes)[end]))
            ++end;
        if (classes->substr(i, end - i) == name)
            return true;
        i = end;
    }
    return false;
}

bool isHeading(std::string_view name)
{
    return name.size() == 2 && (name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6';
}

// The text of an element whose start tag ends at contentStart: up to its end
// tag, or to the next tag of the same name.
std::string elementText(std::string_view page, size_t contentStart, std::string_view name)
{
    size_t end = rawTextEnd(page, contentStart, name);
    return LinkElementTitle(page.substr(contentStart, end == npos ? npos : end - contentStart));
}

// What the page's walls read in their title or first heading.
constexpr std::array<std::string_view, 5> wallTitles = {"Pardon Our Interruption", "Checking your browser",
                                                        "Security Measure", "Access Denied", "Error Page"};

bool readsLikeAWall(std::string_view title)
{
    for (std::string_view wall : wallTitles)
        if (startsWithNoCase(title, wall))
            return true;
    return false;
}

} // namespace

bool IsRobotCheckAddress(std::string_view address)
{
    size_t scheme = address.find("://");
    size_t path = address.find('/', scheme == npos ? 0 : scheme + 3);
    return path != npos && startsWithNoCase(address.substr(path), "/splashui/");
}

EbayPage KindOfEbayPage(std::string_view page)
{
    if (page.find('<') == npos)
        return EbayPage::Empty;
    bool resultsList = false, listing = false, results = false;
    std::string title, heading;
    bool titleSeen = false, headingSeen = false;
    forEachTag(page, [&](const Tag &tag) {
        if (tag.closing)
            return true;
        if (attributeOf(tag.attributes, "id") == std::optional<std::string_view>("ListViewInner") ||
            hasClass(tag, "srp-save-null-search")) {
            results = true;
            return false;
        }
        resultsList = resultsList || hasClass(tag, "srp-results");
        listing = listing || ((hasClass(tag, "s-item") || hasClass(tag, "s-card")) &&
                              attributeOf(tag.attributes, "data-listingid"));
        if (resultsList && listing) {
            results = true;
            return false;
        }
        if (!titleSeen && text::sameTextAnsi(tag.name, "title")) {
            titleSeen = true;
            title = elementText(page, tag.end, tag.name);
        } else if (!headingSeen && isHeading(tag.name)) {
            headingSeen = true;
            heading = elementText(page, tag.end, tag.name);
        }
        return true;
    });
    if (results)
        return EbayPage::Results;
    return readsLikeAWall(title) || readsLikeAWall(heading) ? EbayPage::Wall : EbayPage::NoResults;
}

size_t LooserResultsStart(std::string_view page)
{
    constexpr std::string_view looser = "srp-river-answer";
    if (page.find(looser) == npos)
        return npos;
    size_t start = npos;
    forEachTag(page, [&](const Tag &tag) {
        if (tag.closing || !hasClass(tag, looser))
            return true;
        start = tag.start;
        return false;
    });
    return start;
}

} // namespace lotfinch::core
