#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text/StringList.h"

class QLocale;

namespace lotfinch::core {

// Which rules the scan and the found-items list follow. Described: exactly
// the rules the program was first made with, for pages written the old way.
// Current: also what today's pages need: item links in unquoted and
// single-quoted values, one entry per item whatever tracking parameters its
// links carry, and titles from the link's own text.
enum class LinkRules { Described, Current };

// The item number of an item link: the last run of 9 to 13 digits in the
// path after "/itm/" (query and fragment excluded); empty when there is none.
std::string ItemNumberOf(std::string_view link);

// What tells one item from another under the current rules: the site (the
// link's host in lower case, without "www.") and the item number; empty for
// a link without an item number.
std::string ItemKeyOf(std::string_view link);

// Whether a link holding "/itm/" stands for an item under the current rules.
// Today's result pages hide a card that links to a placeholder
// ("/itm/123456"), so a link to an eBay site (a relative one stays on the
// page's own, and /itm/ paths are eBay's) is one only with an item number.
bool IsItemLink(std::string_view link);

// A link as the current rules list it: an eBay item by its own address,
// "https://<its eBay host>/itm/<number>", without the tracking parameters
// that result pages add; any other link with its character references
// ("&amp;") decoded.
std::string ListedLink(std::string_view link);

// The separators a found item's time stamp uses in place of "/" and ":".
struct DateTimeSeparators
{
    std::string date = "/";
    std::string time = ":";
};

// The separators of a locale, read from its short date and time formats.
DateTimeSeparators LocaleDateTimeSeparators(const QLocale &locale);
// The separators of the system's locale.
DateTimeSeparators SystemDateTimeSeparators();

// "mm/dd/yyyy hh:nn:ss" (24-hour clock) with the given separators.
std::string FormatTimeStamp(const QDateTime &time, const DateTimeSeparators &separators);

// The distinct item links found so far, newest first, and one description per
// link in the same order ("<time stamp>  <title>", in UTF-8, so a title keeps
// every character its site sent; links are 8-bit text). Both lists only change
// together, so entry i of one always belongs to entry i of the other. Links
// are told apart without regard to letter case (and, under the current rules,
// by site and item number where they have one) through an index kept beside
// the lists, so offering a link costs the same for ten or a million items.
class FoundItemList
{
public:
    using Clock = std::function<QDateTime()>;

    // Without a clock, the local time now.
    explicit FoundItemList(DateTimeSeparators separators = SystemDateTimeSeparators(), Clock clock = {},
                           LinkRules rules = LinkRules::Current);

    LinkRules Rules() const { return rules_; }
    // May change at any time: every listed link is indexed under both rules.
    void setRules(LinkRules rules) { rules_ = rules; }

    const text::StringList &FoundItems() const { return items_; }
    const text::StringList &FoundDescriptions() const { return descriptions_; }
    // "Most recent auction listing found: <newest description>" (UTF-8), as
    // of the last offer; kept by Clear.
    const std::string &LatestFoundText() const;

    int count() const { return items_.count(); }
    bool empty() const { return items_.empty(); }

    // Offers one link (trimmed before use) with its title in UTF-8; returns
    // whether it was new and so went in at the top of both lists. Under the
    // current rules a link of an item already listed is not new: the first
    // link seen for an item is the one kept.
    bool AddFoundItem(std::string_view link, std::string_view title);
    // The same for a link on a result page, whose title is the page's 8-bit
    // text, asked for only when the link is new: a page offered again reads
    // none of its titles.
    using TitleSource = std::function<std::string_view()>;
    bool AddPageItem(std::string_view link, const TitleSource &pageTitle);

    // Whether a link equal to this one apart from letter case is listed, or,
    // under the current rules, a link of the same item.
    bool Contains(std::string_view link) const;
    // Whether some listed link holds text (exact case), as a search of the
    // whole list's text would find it.
    bool AnyItemContains(std::string_view text) const;

    // Empties both lists.
    void Clear();

    const DateTimeSeparators &separators() const { return separators_; }
    void setSeparators(DateTimeSeparators separators);

private:
    // Both offers in one: title gives the UTF-8 title when called.
    template <typename Title> bool add(std::string_view link, const Title &title);

    // The listed links, one entry each, in an open-addressing table of
    // hashes and places in blocks holding the links back to back, so a
    // lookup in a big list touches two places in memory: its slot and, on a
    // matching hash, the link. An entry that is not there costs the slot
    // alone, and a new one goes into the slot its lookup has just read. The
    // first link of an item is filed under its item key, so one lookup tells
    // the current rules whether an item is new; any other link (one without
    // an item number, or another link of a listed item, which only the
    // described rules list) is filed under itself without regard to letter
    // case.
    class Index
    {
    public:
        enum class Kind : uint8_t { Link, Item };
        static uint32_t hashOf(std::string_view text);
        bool empty() const { return slots_.empty(); }
        // Makes room for one more entry: the free slot a lookup gives
        // until then is the one the entry goes to.
        void reserveOne();
        // The slot of the entry of this kind and hash whose link same()
        // accepts, or the free slot where such an entry would go. Not on
        // an empty index.
        template <typename Same> size_t find(Kind kind, uint32_t hash, const Same &same) const;
        bool isFree(size_t slot) const { return slots_[slot].hash == 0; }
        std::string_view linkAt(size_t slot) const;
        // Files link in the free slot find() gave, after reserveOne().
        void put(size_t slot, Kind kind, uint32_t hash, std::string_view link);
        void clear();

    private:
        // Sixteen bytes: four to a cache line. Pages are far shorter than
        // 4 GiB, and so are their links.
        struct Slot
        {
            uint32_t hash = 0;
            uint32_t block = 0;
            uint32_t offset = 0;
            uint32_t length = 0;
        };
        // What a slot keeps of an entry's hash and kind: the kind in the
        // lowest bit, and the top bit set, as a free slot holds 0.
        static uint32_t keptHash(Kind kind, uint32_t hash)
        {
            return 0x80000000u | (hash & 0x7FFFFFFEu) | (kind == Kind::Item ? 1u : 0u);
        }
        size_t home(uint32_t hash) const { return hash & (slots_.size() - 1); }
        void grow();

        std::vector<std::string> blocks_;
        std::vector<Slot> slots_;
        size_t used_ = 0;
    };

    // Where a trimmed link is listed: its entry's slot, or, when it is not,
    // the free slot and the entry it would get there.
    struct Place
    {
        size_t slot;
        bool listed;
        Index::Kind kind;
        uint32_t hash;
    };
    // itemKey: the link's item key as itemKeyIn gives it. The index must not be empty.
    Place placeOf(std::string_view link, std::string_view itemKey) const;

    // The time stamp of an offer now, in UTF-8.
    std::string timeStamp();
    // The item key of a trimmed link for the index to hash (its host as
    // written, "/", its item number; empty for a link without an item
    // number), written over out.
    static void itemKeyIn(std::string_view link, std::string &out);

    DateTimeSeparators separators_;
    Clock clock_;
    LinkRules rules_;
    // The local time's conversion costs far more than the rest of an offer,
    // and a page's new items mostly share one second.
    int64_t stampSecond_ = -1;
    std::string stamp_;
    text::StringList items_;
    text::StringList descriptions_;
    Index index_;
    // Written when asked for: a page of new items changes the newest many times.
    mutable std::string latestFoundText_;
    mutable bool latestFoundTextStale_ = false;
    // Reused by every offer: most item keys are too long to go without an allocation.
    std::string itemKey_;
};

} // namespace lotfinch::core
