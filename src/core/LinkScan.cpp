#include "core/LinkScan.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/FoundItems.h"
#include "core/Sites.h"
#include "core/TextUtils.h"

namespace lotfinch::core {

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr std::string_view upperMarker = "HREF=\"";
constexpr std::string_view lowerMarker = "href=\"";
constexpr std::string_view itemMark = "/itm/";       // eBay item links
constexpr std::string_view lineBreakRef = "&#xA;";   // uBid values hold encoded line breaks
constexpr std::string_view lineBreakPrefix = "&#xA"; // what keeps the scan going
constexpr std::string_view titleMarker = "g-b\">";
constexpr std::string_view titleStop = "</";
constexpr int ubidSite = 4;

#if defined(__SSE2__) && defined(__GNUC__)
// Compares 16 positions at a time on the needle's first and last byte, and
// only the rare positions where both match in full. On markup this runs
// several times faster than a general substring search.
size_t findFrom(std::string_view text, size_t from, std::string_view needle)
{
    const size_t n = needle.size();
    if (from > text.size() || n > text.size() - from)
        return npos;
    if (n < 2)
        return text.find(needle, from);
    const char *data = text.data();
    const size_t last = n - 1;
    const size_t end = text.size() - last; // candidates start before end
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i final = _mm_set1_epi8(needle[last]);
    size_t i = from;
    for (; i + 16 <= end; i += 16) {
        __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + last));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(head, first), _mm_cmpeq_epi8(tail, final))));
        for (; mask != 0; mask &= mask - 1) {
            size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
            if (std::memcmp(data + at + 1, needle.data() + 1, n - 2) == 0)
                return at;
        }
    }
    for (; i < end; ++i)
        if (data[i] == needle[0] && std::memcmp(data + i + 1, needle.data() + 1, last) == 0)
            return i;
    return npos;
}
#else
size_t findFrom(std::string_view text, size_t from, std::string_view needle)
{
    return from > text.size() ? npos : text.find(needle, from);
}
#endif

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

// Whether text holds a "&#xA;". Links are short and an ampersand is rare in
// them, so looking for it first beats a general search per link.
bool holdsLineBreakRef(std::string_view text)
{
    for (size_t at = text.find('&'); at != npos; at = text.find('&', at + 1))
        if (text.substr(at).starts_with(lineBreakRef))
            return true;
    return false;
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

        // The next "/itm/" is known anyway: the link holds it when it ends
        // before the closing quote.
        size_t nextItem = item.at(valueStart);
        if (quote != npos && nextItem != npos && nextItem + itemMark.size() <= quote) {
            // The title is behind the next title marker; none left means no title.
            std::string_view itemTitle;
            if (size_t t = title.at(cursor); t != npos) {
                size_t titleStart = t + titleMarker.size();
                if (size_t end = titleEnd.at(titleStart); end != npos)
                    itemTitle = text.substr(titleStart, end - titleStart);
            }
            sink(link, itemTitle);
            ++count;
        } else if (holdsLineBreakRef(link)) {
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
