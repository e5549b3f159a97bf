#include "core/LinkScan.h"

#include <cstring>

#include "core/FoundItems.h"
#include "core/Sites.h"
#include "core/TextUtils.h"

namespace lotfinch::core {

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr std::string_view upperMarker = "HREF=\"";
constexpr std::string_view lowerMarker = "href=\"";
constexpr std::string_view itemMark = "/itm/";         // eBay item links
constexpr std::string_view lineBreakRef = "&#xA;";     // uBid values hold encoded line breaks
constexpr std::string_view lineBreakPrefix = "&#xA";   // what keeps the scan going
constexpr std::string_view titleMarker = "g-b\">";
constexpr std::string_view titleStop = "</";
constexpr int ubidSite = 4;

size_t findFrom(std::string_view text, size_t from, std::string_view needle)
{
    if (from > text.size())
        return npos;
#if defined(__GLIBC__)
    // glibc's memmem is several times faster than a generic search on markup.
    const void *hit = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
    return hit ? static_cast<size_t>(static_cast<const char *>(hit) - text.data()) : npos;
#else
    return text.find(needle, from);
#endif
}

// The first occurrence of a needle at or after a position that only moves
// forward. The answer is kept until the position passes it, so every byte of
// the text is searched at most once per needle.
class NextOccurrence
{
public:
    NextOccurrence(std::string_view text, std::string_view needle) : text_(text), needle_(needle) {}

    size_t at(size_t from)
    {
        if (!searched_ || (hit_ != npos && hit_ < from)) {
            hit_ = findFrom(text_, from, needle_);
            searched_ = true;
        }
        return hit_;
    }

private:
    std::string_view text_;
    std::string_view needle_;
    size_t hit_ = npos;
    bool searched_ = false;
};

bool contains(std::string_view text, std::string_view needle)
{
    return text.find(needle) != npos;
}

// Removes every "&#xA;" until none is left, including those that a removal
// joins together ("&#x&#xA;A;"), in one pass: the reference has no overlap
// with itself, so the order of removals does not change the result.
std::string withoutLineBreakRefs(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        out.push_back(c);
        if (out.size() >= lineBreakRef.size() &&
            std::string_view(out).substr(out.size() - lineBreakRef.size()) == lineBreakRef)
            out.resize(out.size() - lineBreakRef.size());
    }
    return out;
}

} // namespace

int ScanItemLinks(std::string_view text, const ItemLinkSink &sink)
{
    // The text still to scan is always text[cursor..]: each step drops a
    // prefix, so positions stand in for the copies the scan would make.
    NextOccurrence upper(text, upperMarker), lower(text, lowerMarker), item(text, itemMark),
        lineBreak(text, lineBreakPrefix), title(text, titleMarker), titleEnd(text, titleStop);
    const std::string ubidHost = std::string("http://www.") + SiteAt(ubidSite).domain;
    size_t cursor = 0;
    int count = 0;
    for (;;) {
        // The upper-case marker wins wherever it still occurs, so lower-case
        // links before it are passed over.
        size_t marker = upper.at(cursor);
        if (marker == npos)
            marker = lower.at(cursor);
        if (marker == npos)
            break;
        size_t valueStart = marker + upperMarker.size();
        size_t quote = text.find('"', valueStart);
        std::string_view link = quote == npos ? std::string_view() : text.substr(valueStart, quote - valueStart);
        // The marker and the value's first character are consumed.
        cursor = std::min(valueStart + 1, text.size());

        if (contains(link, itemMark)) {
            // The title is behind the next title marker; none left means no title.
            std::string_view itemTitle;
            if (size_t t = title.at(cursor); t != npos) {
                size_t titleStart = t + titleMarker.size();
                if (size_t end = titleEnd.at(titleStart); end != npos)
                    itemTitle = text.substr(titleStart, end - titleStart);
            }
            sink(link, itemTitle);
            ++count;
        } else if (contains(link, lineBreakRef)) {
            std::string value = TrimText(withoutLineBreakRefs(link));
            if (value.size() >= 2 && !contains(value, "javascript")) {
                sink(ubidHost + value, {});
                ++count;
            }
        }

        // Only a remaining "/itm/" or "&#xA" can lead to another item link.
        if (item.at(cursor) == npos && lineBreak.at(cursor) == npos)
            break;
    }
    return count;
}

int ExtractLinks(const platform::StringList &pageLines, FoundItemList &found)
{
    return ScanItemLinks(pageLines.text(),
                         [&found](std::string_view link, std::string_view title) { found.AddFoundItem(link, title); });
}

void SetPageLines(platform::StringList &lines, std::string_view body)
{
    lines.setText(body.substr(0, body.find('\0')));
}

std::string FoundBalloonText(std::string_view startedPhrase)
{
    return FormatText("Matches for %s.", {startedPhrase});
}

} // namespace lotfinch::core
