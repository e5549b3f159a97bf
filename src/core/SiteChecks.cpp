#include "core/SiteChecks.h"

#include <algorithm>
#include <cstdio>

#include "core/ResultPage.h"
#include "core/Sites.h"
#include "core/TextUtils.h"
#include "text/Utf8Text.h"

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
    return {http.StatusCode(), TimedOut(elapsedMs, http.Timeouts()), http.HelperMissing(), http.FinalURL()};
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

CheckVerdict JudgeCheck(int site, const FetchOutcome &outcome, std::optional<std::string_view> page, LinkRules rules)
{
    const std::string_view domain = SiteAt(site).domain;
    const bool ebay = rules == LinkRules::Current && IsEbaySite(site);
    auto failed = [domain](CheckFailure kind, std::string_view reason) {
        return CheckVerdict{false, kind, FormatText(reason, {domain})};
    };
    constexpr std::string_view robotCheck = "%s asked for a browser check instead of results";
    if (ebay && IsRobotCheckAddress(outcome.finalAddress))
        return failed(CheckFailure::Refused, robotCheck);
    if (!page) {
        const bool refused = ebay && (outcome.statusCode == 403 || outcome.statusCode == 429);
        return {false, refused ? CheckFailure::Refused : CheckFailure::Failed, FailureReason(outcome, domain)};
    }
    if (!ebay)
        return {};
    switch (KindOfEbayPage(*page)) {
    case EbayPage::Results: return {};
    case EbayPage::Wall: return failed(CheckFailure::Refused, robotCheck);
    case EbayPage::Empty: return failed(CheckFailure::Refused, "%s sent an empty page");
    case EbayPage::NoResults: break;
    }
    return failed(CheckFailure::Refused, "%s sent a page without results");
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

std::string CheckFailedBalloonText(std::string_view line, CheckFailure kind)
{
    if (kind == CheckFailure::Failed)
        return std::string(line);
    return FormatText("%s\nOpen the search in your browser, where you can pass the check, or give Lotfinch "
                      "eBay API keys (eBay Access...).",
                      {line});
}

std::string HintWithFailureLine(std::string_view hint, std::string_view line)
{
    if (line.empty())
        return std::string(hint);
    std::string tail = "\n";
    tail += line;
    if (hint.size() + tail.size() > tooltipRoom && tail.size() + 3 < tooltipRoom)
        return std::string(text::utf8Prefix(hint, tooltipRoom - tail.size() - 3)) + "..." + tail;
    return std::string(hint) + tail;
}

void SiteChecks::Succeeded(int site)
{
    std::erase_if(failing_, [site](const Failure &f) { return f.site == site; });
}

bool SiteChecks::Failed(int site, std::string line, std::string browserAddress)
{
    bool first = failing_.empty();
    Succeeded(site);
    failing_.push_back({site, std::move(line), std::move(browserAddress)});
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

std::string SiteChecks::RefusedSearch() const
{
    for (auto failure = failing_.rbegin(); failure != failing_.rend(); ++failure)
        if (!failure->browserAddress.empty())
            return failure->browserAddress;
    return {};
}

} // namespace lotfinch::core
