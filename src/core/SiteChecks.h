#pragma once

#include <QStringList>
#include <QTime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FoundItems.h"
#include "http/HttpComponent.h"

// How the checks of the sites went: which site's last check failed and why,
// for the tray's tooltip and its warning balloon.
namespace lotfinch::core {

// How a fetch ended, as the HTTP component reported it.
struct FetchOutcome
{
    int statusCode = -1; // the HTTP status; -1: no answer at all
    bool timedOut = false;
    bool helperMissing = false; // no HTTP helper could be started to ask
    std::string finalAddress;   // where the answer came from, after redirects
};

// Whether a fetch that got no answer took as long as the component's time-outs
// allow, so that the wait, not a refusal, ended it.
bool TimedOut(int elapsedMs, const http::HttpComponentTimeouts &timeouts);

// How the component's last fetch ended, which took elapsedMs.
FetchOutcome OutcomeOf(const http::HttpComponent &http, int elapsedMs);

// A failed fetch in plain words, naming the site: "ebay.com timed out".
std::string FailureReason(const FetchOutcome &outcome, std::string_view domain);

// How a check failed: the site did not deliver, or it refused the program
// (a robot check, an access or rate wall, an empty page or one without
// results where results belong), which a person in a browser passes.
enum class CheckFailure { Failed, Refused };

// How one check of a site went.
struct CheckVerdict
{
    bool good = true;
    CheckFailure kind = CheckFailure::Failed;
    std::string reason; // in plain words, naming the site; empty for a good check
};

// Judges one check of a real site (0..4); page is the body when the fetch
// delivered one. Under the current rules an eBay check is good only on a
// result page: a robot check (an answer from under /splashui/, or a page
// that reads like a wall), a 403 or 429, an empty page and a page without
// results are checks the site refused. Otherwise every delivered page is a
// good check, and a fetch that delivered none failed.
CheckVerdict JudgeCheck(int site, const FetchOutcome &outcome, std::optional<std::string_view> page, LinkRules rules);

// Why a check sent nothing: the phrase holds characters the sites' code
// page cannot carry, named by their code points ("U+6771 U+4EAC").
std::string UnsearchableReason(const QStringList &characters);

// The texts below are UTF-8, as the tray shows them.

// "Last check failed at 14:00: <reason>", the time on the 24-hour clock.
std::string FailureLine(const QTime &at, std::string_view timeSeparator, std::string_view reason);

// The tray hint with the failure line after it on a line of its own. The
// tooltip holds only so many characters, so the hint gives way ("...") to
// keep the line whole.
std::string HintWithFailureLine(std::string_view hint, std::string_view line);

inline constexpr const char *CheckFailedBalloonTitle = "CHECK FAILED";
// The balloon's text: the failure line, and for a refused check the way out.
std::string CheckFailedBalloonText(std::string_view line, CheckFailure kind);

// The sites whose last check failed, with the line that says so.
class SiteChecks
{
public:
    void Succeeded(int site);
    // Returns whether the balloon is due: no site's last check had failed.
    // browserAddress: for a check the site refused, the search for a person
    // to open in the browser.
    bool Failed(int site, std::string line, std::string browserAddress = {});
    // Forgets the sites the search no longer checks.
    void KeepOnly(const std::vector<int> &sites);
    // The line of the latest failure still standing; empty when none.
    std::string LatestFailureLine() const;
    // The browser address of the latest refused check still standing; empty when none.
    std::string RefusedSearch() const;

private:
    struct Failure
    {
        int site;
        std::string line;
        std::string browserAddress;
    };
    std::vector<Failure> failing_; // oldest first
};

} // namespace lotfinch::core
