#include "core/FoundItems.h"

#include <QLocale>
#include <cstdio>

#include "core/TextUtils.h"
#include "platform/AnsiText.h"

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
            return platform::toAnsi(separator);
    }
    return fallback;
}

} // namespace

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

size_t FoundItemList::NoCaseHash::operator()(std::string_view text) const
{
    // FNV-1a over the lower-case bytes.
    size_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= platform::lowerAnsi(static_cast<unsigned char>(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

bool FoundItemList::NoCaseEqual::operator()(std::string_view a, std::string_view b) const
{
    return platform::sameTextAnsi(a, b);
}

FoundItemList::FoundItemList(DateTimeSeparators separators, Clock clock)
    : separators_(std::move(separators)), clock_(std::move(clock))
{}

bool FoundItemList::AddFoundItem(std::string_view link, std::string_view title)
{
    std::string key = TrimText(link);
    bool added = !Contains(key);
    if (added) {
        QDateTime now = clock_ ? clock_() : QDateTime::currentDateTime();
        descriptions_.insert(0, FormatText("%s  %s", {FormatTimeStamp(now, separators_), title}));
        items_.insert(0, key);
        index_.insert(std::move(key));
    }
    latestFoundText_ = FormatText("Most recent auction listing found: %s", {descriptions_[0]});
    return added;
}

bool FoundItemList::Contains(std::string_view link) const
{
    return index_.find(link) != index_.end();
}

void FoundItemList::Clear()
{
    descriptions_.clear();
    items_.clear();
    index_.clear();
}

} // namespace lotfinch::core
