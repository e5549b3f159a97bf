#pragma once

#include <QDateTime>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/StringList.h"

class QLocale;

namespace lotfinch::core {

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
// link in the same order ("<time stamp>  <title>"). Both lists only change
// together, so entry i of one always belongs to entry i of the other. Links
// are told apart without regard to letter case through an index kept beside
// the lists, so offering a link costs the same for ten or a million items.
class FoundItemList
{
public:
    using Clock = std::function<QDateTime()>;

    // Without a clock, the local time now.
    explicit FoundItemList(DateTimeSeparators separators = SystemDateTimeSeparators(), Clock clock = {});

    const platform::StringList &FoundItems() const { return items_; }
    const platform::StringList &FoundDescriptions() const { return descriptions_; }
    // "Most recent auction listing found: <newest description>", rewritten
    // on every offer; kept by Clear.
    const std::string &LatestFoundText() const { return latestFoundText_; }

    int count() const { return items_.count(); }
    bool empty() const { return items_.empty(); }

    // Offers one link (trimmed before use) with its title; returns whether it
    // was new and so went in at the top of both lists.
    bool AddFoundItem(std::string_view link, std::string_view title);

    // Whether a link equal to this one apart from letter case is listed.
    bool Contains(std::string_view link) const;

    // Empties both lists.
    void Clear();

    const DateTimeSeparators &separators() const { return separators_; }
    void setSeparators(DateTimeSeparators separators) { separators_ = std::move(separators); }

private:
    struct NoCaseHash
    {
        using is_transparent = void;
        size_t operator()(std::string_view text) const;
    };
    struct NoCaseEqual
    {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    DateTimeSeparators separators_;
    Clock clock_;
    platform::StringList items_;
    platform::StringList descriptions_;
    std::unordered_set<std::string, NoCaseHash, NoCaseEqual> index_;
    std::string latestFoundText_;
};

} // namespace lotfinch::core
