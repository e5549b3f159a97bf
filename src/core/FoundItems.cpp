#include "core/FoundItems.h"

#include <QLocale>
#include <array>
#include <cstdio>
#include <ctime>

#include "core/LinkTitle.h"
#include "core/TextUtils.h"
#include "text/AnsiText.h"

namespace lotfinch::core {

namespace {

bool isFormatLetter(QChar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The first separator between two fields of a Qt date or time format, without
// blanks or quotes ("dd.MM.yy" and "d. M. yyyy" give ".", "AP h:mm" gives ":").
std::string separatorOf(const QString &format, const char *fallback)
{
    qsizetype i = 0;
    while (i < format.size() && !isFormatLetter(format[i]))
        ++i;
    while (i < format.size()) {
        while (i < format.size() && isFormatLetter(format[i]))
            ++i;
        QString separator;
        for (; i < format.size() && !isFormatLetter(format[i]); ++i)
            if (format[i] != '\'' && !format[i].isSpace())
                separator += format[i];
        if (!separator.isEmpty() && i < format.size())
            return text::toAnsi(separator);
    }
    return fallback;
}

// The code page's lower-case table, read once: the index hashes and compares
// every link offered, byte by byte.
const std::array<unsigned char, 256> &lowerCase()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<size_t>(i)] = text::lowerAnsi(static_cast<unsigned char>(i));
        return t;
    }();
    return table;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// How many characters of text come before the first of the stops: a plain
// loop, as links are short and a library search per character is not.
template <char... Stops> size_t endAt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && ((text[i] != Stops) && ...))
        ++i;
    return i;
}

size_t pathStart(std::string_view text)
{
    return endAt<'/', '?', '#'>(text);
}

// The host of an absolute ("http://host/...") or scheme-relative ("//host/...")
// link as written, without user and port; empty for any other link.
std::string_view fullHostIn(std::string_view link)
{
    size_t from = std::string_view::npos;
    if (size_t scheme = link.find("://"); scheme != std::string_view::npos && scheme > 0 && pathStart(link) > scheme)
        from = scheme + 3;
    else if (link.starts_with("//"))
        from = 2;
    if (from == std::string_view::npos)
        return {};
    std::string_view host = link.substr(from);
    host = host.substr(0, pathStart(host));
    if (size_t at = host.rfind('@'); at != std::string_view::npos)
        host = host.substr(at + 1);
    return host.substr(0, host.find(':'));
}

// The same without a leading "www." (in any case).
std::string_view hostIn(std::string_view link)
{
    std::string_view host = fullHostIn(link);
    if (text::sameTextAnsi(host.substr(0, 4), "www."))
        host.remove_prefix(4);
    return host;
}

// Whether a host without "www." (in lower case) is one of eBay's.
bool isEbayHost(std::string_view host)
{
    return host.starts_with("ebay.") || host.find(".ebay.") != std::string_view::npos;
}

// The same in lower case.
std::string hostOf(std::string_view link)
{
    return text::lowerAnsi(hostIn(link));
}

// ItemNumberOf without the copy.
std::string_view itemNumberIn(std::string_view link)
{
    size_t itm = link.find("/itm/");
    if (itm == std::string_view::npos)
        return {};
    std::string_view path = link.substr(itm + 5);
    path = path.substr(0, endAt<'?', '#'>(path));
    for (size_t end = path.size(); end > 0;) {
        while (end > 0 && !isDigit(path[end - 1]))
            --end;
        size_t start = end;
        while (start > 0 && isDigit(path[start - 1]))
            --start;
        if (end - start >= 9 && end - start <= 13)
            return path.substr(start, end - start);
        end = start;
    }
    return {};
}

// Whether link's item key is key (as itemKeyIn writes it) without regard to letter case.
bool hasItemKey(std::string_view link, std::string_view key)
{
    std::string_view number = itemNumberIn(link);
    if (number.empty() || key.size() <= number.size() || !key.ends_with(number) ||
        key[key.size() - number.size() - 1] != '/')
        return false;
    return text::sameTextAnsi(hostIn(link), key.substr(0, key.size() - number.size() - 1));
}

} // namespace

std::string ItemNumberOf(std::string_view link)
{
    return std::string(itemNumberIn(link));
}

std::string ItemKeyOf(std::string_view link)
{
    std::string_view number = itemNumberIn(link);
    return number.empty() ? std::string() : hostOf(link).append("/").append(number);
}

bool IsItemLink(std::string_view link)
{
    if (!itemNumberIn(link).empty())
        return true;
    const std::string host = hostOf(TrimmedView(link));
    return !host.empty() && !isEbayHost(host);
}

std::string ListedLink(std::string_view link)
{
    const std::string_view trimmed = TrimmedView(link);
    const std::string_view number = itemNumberIn(trimmed);
    if (number.empty() || !isEbayHost(hostOf(trimmed)))
        return DecodedReferences(link);
    return FormatText("https://%s/itm/%s", {text::lowerAnsi(fullHostIn(trimmed)), number});
}

DateTimeSeparators LocaleDateTimeSeparators(const QLocale &locale)
{
    return {separatorOf(locale.dateFormat(QLocale::ShortFormat), "/"),
            separatorOf(locale.timeFormat(QLocale::ShortFormat), ":")};
}

DateTimeSeparators SystemDateTimeSeparators()
{
    return LocaleDateTimeSeparators(QLocale::system());
}

std::string FormatTimeStamp(const QDateTime &time, const DateTimeSeparators &separators)
{
    QDate date = time.date();
    QTime clock = time.time();
    char month[4], day[4], year[8], hour[4], minute[4], second[4];
    std::snprintf(month, sizeof month, "%02d", date.month());
    std::snprintf(day, sizeof day, "%02d", date.day());
    std::snprintf(year, sizeof year, "%04d", date.year());
    std::snprintf(hour, sizeof hour, "%02d", clock.hour());
    std::snprintf(minute, sizeof minute, "%02d", clock.minute());
    std::snprintf(second, sizeof second, "%02d", clock.second());
    const std::string &d = separators.date;
    const std::string &t = separators.time;
    std::string out;
    out.reserve(19 + 2 * (d.size() + t.size()));
    out.append(month).append(d).append(day).append(d).append(year);
    out.append(" ").append(hour).append(t).append(minute).append(t).append(second);
    return out;
}

uint32_t FoundItemList::Index::hashOf(std::string_view link)
{
    // The lower-case bytes eight at a time, each word multiplied in: links
    // are long, and a multiply per byte is what a byte-wise hash waits on.
    const auto &lower = lowerCase();
    uint64_t hash = 14695981039346656037ull ^ link.size();
    size_t i = 0;
    auto mix = [&hash](uint64_t word) {
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
    };
    for (; i + 8 <= link.size(); i += 8) {
        uint64_t word = 0;
        for (size_t k = 0; k < 8; ++k)
            word |= uint64_t{lower[static_cast<unsigned char>(link[i + k])]} << (8 * k);
        mix(word);
    }
    uint64_t tail = 0;
    for (size_t k = 0; i + k < link.size(); ++k)
        tail |= uint64_t{lower[static_cast<unsigned char>(link[i + k])]} << (8 * k);
    mix(tail);
    return static_cast<uint32_t>(hash ^ (hash >> 32));
}

template <typename Same> size_t FoundItemList::Index::find(Kind kind, uint32_t hash, const Same &same) const
{
    const uint32_t kept = keptHash(kind, hash);
    const size_t mask = slots_.size() - 1;
    for (size_t i = home(kept);; i = (i + 1) & mask) {
        if (slots_[i].hash == 0 || (slots_[i].hash == kept && same(linkAt(i))))
            return i;
    }
}

std::string_view FoundItemList::Index::linkAt(size_t slot) const
{
    const Slot &s = slots_[slot];
    return std::string_view(blocks_[s.block]).substr(s.offset, s.length);
}

void FoundItemList::Index::reserveOne()
{
    // At most half full, so probe runs stay short and a free slot always exists.
    if (2 * (used_ + 1) > slots_.size())
        grow();
}

void FoundItemList::Index::put(size_t slot, Kind kind, uint32_t hash, std::string_view link)
{
    // Blocks are filled up to their first size and never grow, so a big
    // list never copies its links around. Each is twice the one before, up
    // to a limit: a short list keeps no room it does not use.
    constexpr size_t firstBlock = 1024, biggestBlock = 64 * 1024;
    if (blocks_.empty() || blocks_.back().size() + link.size() > blocks_.back().capacity()) {
        size_t size = blocks_.empty() ? firstBlock : std::min(2 * blocks_.back().capacity(), biggestBlock);
        blocks_.emplace_back();
        blocks_.back().reserve(std::max(size, link.size()));
    }
    std::string &block = blocks_.back();
    slots_[slot] = {keptHash(kind, hash), static_cast<uint32_t>(blocks_.size() - 1),
                    static_cast<uint32_t>(block.size()), static_cast<uint32_t>(link.size())};
    block.append(link);
    ++used_;
}

void FoundItemList::Index::grow()
{
    std::vector<Slot> oldSlots = std::move(slots_);
    const size_t size = std::max<size_t>(64, oldSlots.size() * 2);
    slots_.assign(size, Slot{});
    const size_t mask = size - 1;
    for (const Slot &slot : oldSlots) {
        if (slot.hash == 0)
            continue;
        size_t i = home(slot.hash);
        while (slots_[i].hash != 0)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void FoundItemList::Index::clear()
{
    blocks_.clear();
    blocks_.shrink_to_fit();
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
}

FoundItemList::FoundItemList(DateTimeSeparators separators, Clock clock, LinkRules rules)
    : separators_(std::move(separators)), clock_(std::move(clock)), rules_(rules)
{}

void FoundItemList::setSeparators(DateTimeSeparators separators)
{
    separators_ = std::move(separators);
    stampSecond_ = -1;
}

std::string FoundItemList::timeStamp()
{
    if (clock_)
        return text::ansiToUtf8(FormatTimeStamp(clock_(), separators_));
    int64_t now = std::time(nullptr);
    if (now != stampSecond_) {
        stamp_ = text::ansiToUtf8(FormatTimeStamp(QDateTime::fromSecsSinceEpoch(now), separators_));
        stampSecond_ = now;
    }
    return stamp_;
}

void FoundItemList::itemKeyIn(std::string_view link, std::string &out)
{
    out.clear();
    if (std::string_view number = itemNumberIn(link); !number.empty())
        out.append(hostIn(link)).append("/").append(number);
}

FoundItemList::Place FoundItemList::placeOf(std::string_view link, std::string_view itemKey) const
{
    using Kind = Index::Kind;
    if (!itemKey.empty()) {
        const uint32_t hash = Index::hashOf(itemKey);
        size_t slot =
            index_.find(Kind::Item, hash, [itemKey](std::string_view listed) { return hasItemKey(listed, itemKey); });
        if (index_.isFree(slot))
            return {slot, false, Kind::Item, hash};
        // Under the current rules any link of a listed item is listed.
        if (rules_ == LinkRules::Current || text::sameTextAnsi(index_.linkAt(slot), link))
            return {slot, true, Kind::Item, hash};
    }
    const uint32_t hash = Index::hashOf(link);
    size_t slot =
        index_.find(Kind::Link, hash, [link](std::string_view listed) { return text::sameTextAnsi(listed, link); });
    return {slot, !index_.isFree(slot), Kind::Link, hash};
}

template <typename Title> bool FoundItemList::add(std::string_view link, const Title &title)
{
    std::string_view key = TrimmedView(link);
    itemKeyIn(key, itemKey_);
    index_.reserveOne();
    const Place place = placeOf(key, itemKey_);
    if (place.listed)
        return false;
    index_.put(place.slot, place.kind, place.hash, key);
    descriptions_.insert(0, FormatText("%s  %s", {timeStamp(), title()}));
    items_.insert(0, std::string(key));
    // A known link leaves the newest description, and so this text, as it was.
    latestFoundTextStale_ = true;
    return true;
}

const std::string &FoundItemList::LatestFoundText() const
{
    if (latestFoundTextStale_) {
        latestFoundText_ = FormatText("Most recent auction listing found: %s", {descriptions_[0]});
        latestFoundTextStale_ = false;
    }
    return latestFoundText_;
}

bool FoundItemList::AddFoundItem(std::string_view link, std::string_view title)
{
    return add(link, [title] { return title; });
}

bool FoundItemList::AddPageItem(std::string_view link, const TitleSource &pageTitle)
{
    return add(link, [&pageTitle] { return text::ansiToUtf8(pageTitle()); });
}

bool FoundItemList::Contains(std::string_view link) const
{
    if (index_.empty())
        return false;
    std::string_view key = TrimmedView(link);
    std::string itemKey;
    itemKeyIn(key, itemKey);
    return placeOf(key, itemKey).listed;
}

bool FoundItemList::AnyItemContains(std::string_view text) const
{
    for (const std::string &item : items_.lines())
        if (item.find(text) != std::string::npos)
            return true;
    return false;
}

void FoundItemList::Clear()
{
    LatestFoundText(); // kept
    descriptions_.clear();
    items_.clear();
    index_.clear();
}

} // namespace lotfinch::core
