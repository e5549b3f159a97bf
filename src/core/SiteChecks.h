#pragma once

#include <QStringList>
#include <QTime>
#include <string>
#include <string_view>
#include <vector>

#include "http/HttpComponent.h"

// How the checks of the sites went: which site's last check failed and why,
// for the tray's tooltip and its warning balloon.
namespace lotfinch::core {

// How a fetch that delivered no page ended, as the HTTP component reported it.
struct FetchOutcome
{
    int statusCode = -1; // the HTTP status; -1: no answer at all
    bool timedOut = false;
    bool helperMissing = false; // no HTTP helper could be started to ask
};

// Whether a fetch that got no answer took as long as the component's time-outs
// allow, so that the wait, not a refusal, ended it.
bool TimedOut(int elapsedMs, const http::HttpComponentTimeouts &timeouts);

// How the component's last fetch ended, which took elapsedMs.
FetchOutcome OutcomeOf(const http::HttpComponent &http, int elapsedMs);

// A failed fetch in plain words, naming the site: "ebay.com timed out".
std::string FailureReason(const FetchOutcome &outcome, std::string_view domain);

// Why a check sent nothing: the phrase holds characters the sites' code
// page cannot carry, named by their code points ("U+6771 U+4EAC"), as the
// tooltip's code page cannot carry them either.
std::string UnsearchableReason(const QStringList &characters);

// "Last check failed at 14:00: <reason>", the time on the 24-hour clock.
std::string FailureLine(const QTime &at, std::string_view timeSeparator, std::string_view reason);

// The tray hint with the failure line after it on a line of its own. The
// tooltip holds only so many characters, so the hint gives way ("...") to
// keep the line whole.
std::string HintWithFailureLine(std::string_view hint, std::string_view line);

inline constexpr const char *CheckFailedBalloonTitle = "CHECK FAILED";

// The sites whose last check failed, with the line that says so.
class SiteChecks
{
public:
    void Succeeded(int site);
    // Returns whether the balloon is due: no site's last check had failed.
    bool Failed(int site, std::string line);
    // Forgets the sites the search no longer checks.
    void KeepOnly(const std::vector<int> &sites);
    // The line of the latest failure still standing; empty when none.
    std::string LatestFailureLine() const;

private:
    struct Failure
    {
        int site;
        std::string line;
    };
    std::vector<Failure> failing_; // oldest first
};

} // namespace lotfinch::core
