#include "core/LinkScan.h"

#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/FoundItems.h"
#include "core/LinkTitle.h"
#include "core/ResultPage.h"
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

// Calls visit(at), in page order until it returns false, for every "=" that
// may end an href attribute's name (one right after an "f" of either case or
// after white space) and every ">" that may end a title marker (one right
// after a double quote). Most "=" and ">" of a page (queries, other
// attributes, tags) are passed over 16 at a time.
template <typename Visit> void forEachHrefEqualsOrTitleEnd(std::string_view text, Visit visit)
{
    size_t i = 1;
#if defined(__SSE2__) && defined(__GNUC__)
    const char *data = text.data();
    const __m128i equals = _mm_set1_epi8('='), f = _mm_set1_epi8('f'), caseBit = _mm_set1_epi8(0x20),
                  blank = _mm_set1_epi8(' '), tagEnd = _mm_set1_epi8('>'), quote = _mm_set1_epi8('"');
    for (; i + 16 <= text.size(); i += 16) {
        __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i - 1));
        __m128i afterName = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(before, caseBit), f),
                                         _mm_cmpeq_epi8(_mm_min_epu8(before, blank), before));
        __m128i hit = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(here, equals), afterName),
                                   _mm_and_si128(_mm_cmpeq_epi8(here, tagEnd), _mm_cmpeq_epi8(before, quote)));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0; mask &= mask - 1)
            if (!visit(i + static_cast<size_t>(__builtin_ctz(mask))))
                return;
    }
#endif
    for (; i < text.size(); ++i) {
        const char before = text[i - 1], c = text[i];
        if (((c == '=' && ((before | 0x20) == 'f' || static_cast<unsigned char>(before) <= ' ')) ||
             (c == '>' && before == '"')) &&
            !visit(i))
            return;
    }
}

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
            // The markers are a few bytes long: comparing in place beats a call.
            size_t k = 1;
            while (k < last && data[at + k] == needle[k])
                ++k;
            if (k == last)
                return at;
        }
    }
    for (; i < end; ++i)
        if (data[i] == needle[0] && std::memcmp(data + i + 1, needle.data() + 1, last) == 0)
            return i;
    return npos;
}

// The end of an attribute value without quotes: the first white space or
// ">" at or after from, or the end of the text.
size_t unquotedValueEnd(std::string_view text, size_t from)
{
    const char *data = text.data();
    const __m128i blank = _mm_set1_epi8(' '), tagEnd = _mm_set1_epi8('>');
    size_t i = from;
    for (; i + 16 <= text.size(); i += 16) {
        __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        __m128i stop = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(here, blank), here), _mm_cmpeq_epi8(here, tagEnd));
        if (auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop)); mask != 0)
            return i + static_cast<size_t>(__builtin_ctz(mask));
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) > ' ' && text[i] != '>')
        ++i;
    return i;
}
#else
size_t findFrom(std::string_view text, size_t from, std::string_view needle)
{
    return from > text.size() ? npos : text.find(needle, from);
}

size_t unquotedValueEnd(std::string_view text, size_t from)
{
    while (from < text.size() && static_cast<unsigned char>(text[from]) > ' ' && text[from] != '>')
        ++from;
    return from;
}
#endif

// Whether an href value holds the item mark, and if not whether it holds
// the line-break reference: one walk over the value for both.
enum class ValueKind { Item, LineBreak, Other };

ValueKind kindOf(std::string_view value)
{
    bool lineBreak = false;
    // At each "/" or "&": true once the value is known to be an item link.
    auto visit = [&](size_t at) {
        std::string_view rest = value.substr(at);
        lineBreak = lineBreak || rest.starts_with(lineBreakRef);
        return rest.starts_with(itemMark);
    };
    size_t i = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    static_assert(itemMark.size() == 5 && lineBreakRef.size() == 5);
    const char *data = value.data();
    const __m128i slash = _mm_set1_epi8('/'), ampersand = _mm_set1_epi8('&'), semicolon = _mm_set1_epi8(';');
    for (; i + 16 + 4 <= value.size(); i += 16) {
        __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + 4));
        __m128i item = _mm_and_si128(_mm_cmpeq_epi8(here, slash), _mm_cmpeq_epi8(last, slash));
        __m128i reference = _mm_and_si128(_mm_cmpeq_epi8(here, ampersand), _mm_cmpeq_epi8(last, semicolon));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(item, reference))); mask != 0;
             mask &= mask - 1)
            if (visit(i + static_cast<size_t>(__builtin_ctz(mask))))
                return ValueKind::Item;
    }
#endif
    for (; i < value.size(); ++i)
        if ((value[i] == '/' || value[i] == '&') && visit(i))
            return ValueKind::Item;
    return lineBreak ? ValueKind::LineBreak : ValueKind::Other;
}

// The first occurrence of a needle at or after a position that only moves
// forward. The answer is kept until the position passes it, so every byte of
// the text is searched at most once per needle.
class NextOccurrence
{
public:
    NextOccurrence(std::string_view text, std::string_view needle) : text_(text), needle_(needle) {}
    // Over the occurrences found beforehand, in page order: no search at all.
    explicit NextOccurrence(const std::vector<size_t> *known) : known_(known) {}

    size_t at(size_t from)
    {
        if (known_) {
            while (next_ < known_->size() && (*known_)[next_] < from)
                ++next_;
            return next_ < known_->size() ? (*known_)[next_] : npos;
        }
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
    const std::vector<size_t> *known_ = nullptr;
    size_t next_ = 0;
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

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isA(char c)
{
    return c == 'a' || c == 'A';
}

// The text of the link element an href belongs to, for links that no title
// marker follows. Asked for links in page order, it searches every part of
// the page at most once.
class LinkText
{
public:
    explicit LinkText(std::string_view text) : text_(text), tagEnd_(text, ">") {}

    // attribute: where the href attribute starts; after: just past its value.
    const std::string &of(size_t attribute, size_t after)
    {
        size_t tagEnd = inAnchorTag(attribute) ? tagEnd_.at(after) : npos;
        if (tagEnd == npos) {
            title_.clear();
            content_ = npos;
        } else if (tagEnd + 1 != content_) {
            // Two hrefs in one tag share the element and its title.
            content_ = tagEnd + 1;
            size_t end = std::min(boundaryAt(content_), text_.size());
            title_ = LinkElementTitle(text_.substr(content_, end - content_));
        }
        return title_;
    }

private:
    // Whether the attribute stands in an <a> start tag: a "<a" and blank
    // before it, no ">" between. Tags are short, so the look back is too,
    // and it ends at the attribute asked for before: without "<" or ">"
    // between, both stand in the same tag.
    bool inAnchorTag(size_t attribute)
    {
        constexpr size_t lookBack = 2048;
        size_t stop = attribute > lookBack ? attribute - lookBack : 0;
        bool known = lastAttribute_ != npos && lastAttribute_ < attribute && lastAttribute_ >= stop;
        if (known)
            stop = lastAttribute_;
        bool inTag = known && lastInTag_;
        for (size_t i = attribute; i > stop; --i) {
            char c = text_[i - 1];
            if (c == '>' || c == '<') {
                inTag = c == '<' && i + 1 < attribute && isA(text_[i]) && isSpace(text_[i + 1]);
                break;
            }
        }
        lastAttribute_ = attribute;
        lastInTag_ = inTag;
        return inTag;
    }

    // The next "<a" or "</a" tag at or after from: the element's content
    // ends there, with or without its end tag.
    size_t boundaryAt(size_t from)
    {
        if (boundarySearched_ && (boundary_ == npos || boundary_ >= from))
            return boundary_;
        boundarySearched_ = true;
        for (size_t at = text_.find('<', from); at != npos; at = text_.find('<', at + 1)) {
            size_t name = at + 1 + (at + 1 < text_.size() && text_[at + 1] == '/');
            if (name + 1 < text_.size() && isA(text_[name]) && (isSpace(text_[name + 1]) || text_[name + 1] == '>'))
                return boundary_ = at;
        }
        return boundary_ = npos;
    }

    std::string_view text_;
    NextOccurrence tagEnd_;
    size_t boundary_ = npos;
    bool boundarySearched_ = false;
    size_t content_ = npos;
    std::string title_;
    size_t lastAttribute_ = npos;
    bool lastInTag_ = false;
};

// Receives one link and a way to its title, read only when asked for.
using LazyLinkSink = std::function<void(std::string_view link, const FoundItemList::TitleSource &title)>;

// Hands one link to the sink as the rules say: an eBay item link with its
// title, or a uBid value made absolute. Returns whether it was an item link.
class LinkTaker
{
public:
    // titleMarkers: where the page's title markers are, when known.
    LinkTaker(std::string_view text, const LazyLinkSink &sink, LinkText *linkText,
              const std::vector<size_t> *titleMarkers = nullptr)
        : text_(text), sink_(sink), linkText_(linkText),
          title_(titleMarkers ? NextOccurrence(titleMarkers) : NextOccurrence(text, titleMarker)),
          titleEnd_(text, titleStop), ubidHost_(std::string("http://www.") + SiteAt(ubidSite).domain)
    {}

    // The eBay item link link, found at attribute, its value ending just
    // before after; the title is searched from titleFrom on. False when it
    // is dropped.
    bool item(std::string_view link, size_t titleFrom, size_t attribute, size_t after)
    {
        // The described rules (which take no link texts) take every one.
        if (linkText_ && !IsItemLink(link))
            return false;
        // The searches behind a title only move forward, so skipping those
        // of links the sink takes no title from changes no later title, and
        // a page whose links are all known is not searched for titles at all.
        sink_(linkText_ ? std::string_view(listed_ = ListedLink(link)) : link,
              [this, titleFrom, attribute, after]() -> std::string_view {
                  // The title is behind the next title marker; with none left, there
                  // is no title, or the link's own text.
                  size_t t = title_.at(titleFrom);
                  if (t == npos)
                      return ownText(attribute, after);
                  size_t titleStart = t + titleMarker.size();
                  size_t end = titleEnd_.at(titleStart);
                  return end == npos ? std::string_view() : text_.substr(titleStart, end - titleStart);
              });
        return true;
    }

    // A uBid value; false when it is dropped.
    bool ubid(std::string_view link, size_t attribute, size_t after)
    {
        std::string value = TrimText(withoutLineBreakRefs(link));
        if (value.size() < 2 || contains(value, "javascript"))
            return false;
        sink_(ubidHost_ + (linkText_ ? DecodedReferences(value) : value),
              [this, attribute, after] { return ownText(attribute, after); });
        return true;
    }

private:
    std::string_view ownText(size_t attribute, size_t after)
    {
        return linkText_ ? std::string_view(linkText_->of(attribute, after)) : std::string_view();
    }

    std::string_view text_;
    const LazyLinkSink &sink_;
    LinkText *linkText_;
    NextOccurrence title_, titleEnd_;
    const std::string ubidHost_;
    std::string listed_; // the link handed over under the current rules
};

// The scan of href values in double quotes, the way result pages were
// written, over a page that holds such a value.
int scanQuotedLinks(std::string_view text, const LazyLinkSink &sink, LinkText *linkText)
{
    // The text still to scan is always text[cursor..]: each step drops a
    // prefix, so positions stand in for the copies the scan would make.
    NextOccurrence upper(text, upperMarker), lower(text, lowerMarker), item(text, itemMark),
        lineBreak(text, lineBreakPrefix);
    LinkTaker taker(text, sink, linkText);
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
            if (taker.item(link, cursor, marker, quote + 1))
                ++count;
        } else if (holdsLineBreakRef(link) && taker.ubid(link, marker, quote + 1)) {
            ++count;
        }

        // Only a remaining "/itm/" or "&#xA" can lead to another item link.
        if (item.at(cursor) == npos && lineBreak.at(cursor) == npos)
            break;
    }
    return count;
}

bool isHrefBefore(std::string_view text, size_t equals, size_t &attribute)
{
    size_t nameEnd = equals;
    while (nameEnd > 0 && isSpace(text[nameEnd - 1]))
        --nameEnd;
    if (nameEnd < 4 || (nameEnd > 4 && !isSpace(text[nameEnd - 5])))
        return false;
    attribute = nameEnd - 4;
    for (size_t i = 0; i < 4; ++i)
        if ((text[attribute + i] | 0x20) != "href"[i])
            return false;
    return true;
}

// What one pass over a page finds for the scan of unquoted values, in page
// order: every href attribute whose value is not in double quotes (where the
// attribute and its value start) and the start of every title marker.
struct HrefPlaces
{
    struct Value
    {
        size_t attribute;
        size_t start;
    };
    std::vector<Value> values;
    std::vector<size_t> titleMarkers;
};

// One pass serves both scans: with untilQuoted it stops at the first href
// value in double quotes (a page the quoted scan reads) and says whether it
// met one.
bool findHrefPlaces(std::string_view text, bool untilQuoted, HrefPlaces &places)
{
    places.values.clear();
    places.titleMarkers.clear();
    size_t attribute = 0;
    bool quoted = false;
    forEachHrefEqualsOrTitleEnd(text, [&](size_t at) {
        if (text[at] == '>') {
            const size_t start = at + 1 - titleMarker.size();
            if (at + 1 >= titleMarker.size() && text.substr(start, titleMarker.size()) == titleMarker)
                places.titleMarkers.push_back(start);
            return true;
        }
        if (untilQuoted && at >= 4 && at + 1 < text.size() && text[at + 1] == '"') {
            std::string_view marker = text.substr(at - 4, upperMarker.size());
            if (marker == upperMarker || marker == lowerMarker) {
                quoted = true;
                return false;
            }
        }
        size_t valueStart = at + 1;
        while (valueStart < text.size() && isSpace(text[valueStart]))
            ++valueStart;
        if (valueStart < text.size() && text[valueStart] != '"' && isHrefBefore(text, at, attribute))
            places.values.push_back({attribute, valueStart});
        return true;
    });
    return quoted;
}

// The scan of href values without quotes or in single quotes, as pages are
// written today: every such value in page order (from the places of a whole
// page), with the same rules for item and uBid links as the quoted scan.
int scanUnquotedLinks(std::string_view text, const HrefPlaces &places, const LazyLinkSink &sink, LinkText *linkText)
{
    NextOccurrence singleQuote(text, "'");
    LinkTaker taker(text, sink, linkText, &places.titleMarkers);
    int count = 0;
    for (auto [attribute, valueStart] : places.values) {
        size_t valueEnd, after;
        if (text[valueStart] == '\'') {
            ++valueStart;
            valueEnd = singleQuote.at(valueStart);
            if (valueEnd == npos)
                continue; // unclosed: ignored, as in the quoted scan
            after = valueEnd + 1;
        } else {
            valueEnd = unquotedValueEnd(text, valueStart);
            after = valueEnd;
        }
        // Values are short and apart from each other (one in single quotes
        // may hold unquoted ones, no more), so each is searched on its own.
        std::string_view link = text.substr(valueStart, valueEnd - valueStart);
        ValueKind kind = kindOf(link);
        if (kind == ValueKind::Item) {
            if (taker.item(link, std::min(valueStart + 1, text.size()), attribute, after))
                ++count;
        } else if (kind == ValueKind::LineBreak && taker.ubid(link, attribute, after)) {
            ++count;
        }
    }
    return count;
}

int scanItemLinks(std::string_view text, const LazyLinkSink &sink, LinkRules rules)
{
    // The looser results of a result page match the search only in part.
    if (rules == LinkRules::Current)
        text = text.substr(0, LooserResultsStart(text));
    HrefPlaces places;
    const bool quoted = findHrefPlaces(text, true, places);
    if (rules == LinkRules::Described)
        return quoted ? scanQuotedLinks(text, sink, nullptr) : 0;
    int count = 0;
    if (quoted) {
        LinkText quotedText(text);
        count = scanQuotedLinks(text, sink, &quotedText);
    }
    // Only a page that the quoted scan takes nothing from and that still
    // holds an item mark is read again, so every page the quoted scan reads
    // gives exactly its links.
    if (count > 0 || findFrom(text, 0, itemMark) == npos)
        return count;
    // Values in double quotes that led nowhere stopped the first pass short.
    if (quoted)
        findHrefPlaces(text, false, places);
    LinkText unquotedText(text);
    return scanUnquotedLinks(text, places, sink, &unquotedText);
}

} // namespace

int ScanItemLinks(std::string_view text, const ItemLinkSink &sink, LinkRules rules)
{
    return scanItemLinks(
        text, [&sink](std::string_view link, const FoundItemList::TitleSource &title) { sink(link, title()); }, rules);
}

int ExtractLinks(const text::LineText &pageLines, FoundItemList &found)
{
    return scanItemLinks(
        pageLines.text(),
        [&found](std::string_view link, const FoundItemList::TitleSource &title) { found.AddPageItem(link, title); },
        found.Rules());
}

void SetPageLines(text::LineText &lines, std::string_view body)
{
    lines.setText(body.substr(0, body.find('\0')));
}

std::string FoundBalloonText(std::string_view startedPhrase)
{
    return FormatText("Matches for %s.", {startedPhrase});
}

} // namespace lotfinch::core
