#include "core/SiteChecks.h"

#include <algorithm>
#include <cstdio>

#include "core/TextUtils.h"

namespace lotfinch::core {

namespace {

// What the HTTP layer waits when a time-out is left at 0.
constexpr unsigned defaultTimeoutMs = 60000;
// A tooltip shows at most this many characters.
constexpr size_t tooltipRoom = 127;

unsigned effective(unsigned ms)
{
    return ms ? ms : defaultTimeoutMs;
}

} // namespace

bool TimedOut(int elapsedMs, const http::HttpComponentTimeouts &timeouts)
{
    unsigned limit = std::min(effective(timeouts.ConnectTimeout), effective(timeouts.ReceiveTimeout));
    return elapsedMs >= 0 && static_cast<unsigned>(elapsedMs) >= limit;
}

FetchOutcome OutcomeOf(const http::HttpComponent &http, int elapsedMs)
{
    return {http.StatusCode(), TimedOut(elapsedMs, http.Timeouts()), http.HelperMissing()};
}

std::string FailureReason(const FetchOutcome &outcome, std::string_view domain)
{
    if (outcome.helperMissing)
        return "the HTTP helper could not be started";
    if (outcome.statusCode == -1)
        return FormatText(outcome.timedOut ? "%s timed out" : "could not connect to %s", {domain});
    if (outcome.statusCode == 200 || outcome.statusCode == 206)
        return FormatText("the page from %s arrived cut short", {domain});
    return FormatText("%s answered %s", {domain, std::to_string(outcome.statusCode)});
}

std::string UnsearchableReason(const QStringList &characters)
{
    std::string reason = "these characters cannot be searched for:";
    for (const QString &character : characters)
        for (char32_t point : character.toUcs4())
            reason += QString::asprintf(" U+%04X", static_cast<unsigned>(point)).toStdString();
    return reason;
}

std::string FailureLine(const QTime &at, std::string_view timeSeparator, std::string_view reason)
{
    char hour[4], minute[4];
    std::snprintf(hour, sizeof hour, "%02d", at.hour());
    std::snprintf(minute, sizeof minute, "%02d", at.minute());
    return FormatText("Last check failed at %s%s%s: %s", {hour, timeSeparator, minute, reason});
}

std::string HintWithFailureLine(std::string_view hint, std::string_view line)
{
    if (line.empty())
        return std::string(hint);
    std::string tail = "\n";
    tail += line;
    if (hint.size() + tail.size() > tooltipRoom && tail.size() + 3 < tooltipRoom)
        return std::string(hint.substr(0, tooltipRoom - tail.size() - 3)) + "..." + tail;
    return std::string(hint) + tail;
}

void SiteChecks::Succeeded(int site)
{
    std::erase_if(failing_, [site](const Failure &f) { return f.site == site; });
}

bool SiteChecks::Failed(int site, std::string line)
{
    bool first = failing_.empty();
    Succeeded(site);
    failing_.push_back({site, std::move(line)});
    return first;
}

void SiteChecks::KeepOnly(const std::vector<int> &sites)
{
    std::erase_if(failing_,
                  [&](const Failure &f) { return std::find(sites.begin(), sites.end(), f.site) == sites.end(); });
}

std::string SiteChecks::LatestFailureLine() const
{
    return failing_.empty() ? std::string() : failing_.back().line;
}

} // namespace lotfinch::core
