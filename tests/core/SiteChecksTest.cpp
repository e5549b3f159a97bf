#include <gtest/gtest.h>

#include <optional>

#include "core/SiteChecks.h"

using namespace lotfinch::core;

TEST(SiteChecks, FailuresInPlainWords)
{
    struct Case
    {
        int status;
        bool timedOut, helperMissing;
        const char *reason;
    };
    const Case cases[] = {
        {-1, false, false, "could not connect to ebay.com"},
        {-1, true, false, "ebay.com timed out"},
        {503, false, false, "ebay.com answered 503"},
        {404, false, false, "ebay.com answered 404"},
        {200, false, false, "the page from ebay.com arrived cut short"},
        {-1, false, true, "the HTTP helper could not be started"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FailureReason({c.status, c.timedOut, c.helperMissing, ""}, "ebay.com"), c.reason);
    EXPECT_EQ(FailureLine(QTime(14, 0, 59), ":", "ebay.com timed out"),
              "Last check failed at 14:00: ebay.com timed out");
    EXPECT_EQ(FailureLine(QTime(9, 5), ".", "x"), "Last check failed at 09.05: x");

    lotfinch::http::HttpComponentTimeouts timeouts;
    EXPECT_FALSE(TimedOut(59999, timeouts));
    EXPECT_TRUE(TimedOut(60000, timeouts));
    timeouts.ReceiveTimeout = 1000;
    EXPECT_TRUE(TimedOut(1000, timeouts));
    EXPECT_FALSE(TimedOut(999, timeouts));
}

TEST(SiteChecks, TheFailureLineFollowsTheHintAndAlwaysFitsTheTooltip)
{
    const std::string line = "Last check failed at 14:00: ebay.com.au answered 503";
    EXPECT_EQ(HintWithFailureLine("FOUND matches", ""), "FOUND matches");
    EXPECT_EQ(HintWithFailureLine("FOUND matches", line), "FOUND matches\n" + line);
    std::string hint = "STILL crawling ebay.com.au for \"" + std::string(100, 'p') + "\".";
    std::string both = HintWithFailureLine(hint, line);
    EXPECT_EQ(both.size(), 127u);
    EXPECT_EQ(both, hint.substr(0, 127 - line.size() - 4) + "...\n" + line);
    // A hint in UTF-8 gives way between two characters.
    std::string wide = "STILL crawling ebay.com for \"" + std::string(31, 'p');
    for (int i = 0; i < 10; ++i)
        wide += "\u6771"; // three bytes each: the room ends in the fourth
    EXPECT_EQ(HintWithFailureLine(wide, line), wide.substr(0, 29 + 31 + 9) + "...\n" + line);
}

TEST(SiteChecks, OneBalloonWhenChecksStartFailingAndAGoodCheckClearsTheSite)
{
    SiteChecks checks;
    EXPECT_EQ(checks.LatestFailureLine(), "");
    EXPECT_TRUE(checks.Failed(0, "US down"));
    EXPECT_FALSE(checks.Failed(0, "US down again"));
    EXPECT_FALSE(checks.Failed(4, "uBid down"));
    EXPECT_EQ(checks.LatestFailureLine(), "uBid down");
    checks.Succeeded(4);
    EXPECT_EQ(checks.LatestFailureLine(), "US down again");
    checks.KeepOnly({1, 2});
    EXPECT_EQ(checks.LatestFailureLine(), "");
    checks.Succeeded(1);
    EXPECT_TRUE(checks.Failed(2, "UK down")) << "failing again after the checks went well";
}

namespace {

// A verdict in one line: "" for a good check, else "refused: " or "failed: "
// and the reason.
std::string verdictOf(const CheckVerdict &verdict)
{
    if (verdict.good)
        return verdict.reason;
    return (verdict.kind == CheckFailure::Refused ? "refused: " : "failed: ") + verdict.reason;
}

} // namespace

TEST(SiteChecks, AnEbayCheckIsGoodOnlyOnAResultPage)
{
    const std::string search = "http://www.ebay.com/sch/i.html?_nkw=x";
    const std::string challenge = "https://www.ebay.com/splashui/challenge?ap=1&ru=https%3A%2F%2Fwww.ebay.com%2Fsch";
    const std::string robot = "refused: ebay.com asked for a browser check instead of results";
    const std::string empty = "refused: ebay.com sent an empty page";
    const std::string noResults = "refused: ebay.com sent a page without results";
    const std::string listing = "<ul class=\"srp-results srp-list\">\n<li class=\"s-card s-card--horizontal\" "
                                "data-listingid=\"196123456781\"><a href=https://www.ebay.com/itm/196123456781>x</a>";
    struct Case
    {
        const char *name;
        int site;
        int status;
        std::string address; // where the answer came from
        std::optional<std::string> page;
        std::string verdict;
        LinkRules rules = LinkRules::Current;
    };
    const Case cases[] = {
        {"the browser check after a redirect", 0, 200, challenge,
         "<title>Pardon Our Interruption...</title><h1>Checking your browser before you access eBay.</h1>", robot},
        {"a captcha, whatever it answered", 2, 403, "https://www.ebay.co.uk/splashui/captcha?x", std::nullopt,
         "refused: ebay.co.uk asked for a browser check instead of results"},
        {"a check page with results markup is still a check", 0, 200, challenge, listing, robot},
        {"access denied", 0, 403, search, std::nullopt, "refused: ebay.com answered 403"},
        {"too many requests", 3, 429, search, std::nullopt, "refused: ebay.com.au answered 429"},
        {"a server error", 0, 503, search, std::nullopt, "failed: ebay.com answered 503"},
        {"an empty body", 1, 200, search, "", "refused: ebay.ca sent an empty page"},
        {"no markup", 0, 200, search, "{\"items\":[]}", empty},
        {"the captcha page's title", 0, 200, search, "<html><head><TITLE>Security Measure | eBay</TITLE>", robot},
        {"a rate page", 0, 200, search, "<title>\n  Error   Page | eBay</title><p>Too fast", robot},
        {"access denied with 200", 0, 200, search, "<HTML><BODY><H1>Access Denied</H1>", robot},
        {"the first heading only", 0, 200, search, "<title>eBay</title><h2>Shop</h2><h1>Checking your browser</h1>",
         noResults},
        {"another page", 0, 200, search, "<html><title>eBay Home</title><a href=/b>Deals</a>", noResults},
        {"cards without listing ids", 0, 200, search,
         "<ul class=srp-results><li class=s-item><a href=https://www.ebay.com/itm/196123456781>x</a>", noResults},
        {"results markup only in a script or a comment", 0, 200, search,
         "<script>var t = '<ul class=srp-results><li class=s-item data-listingid=1>';</script>"
         "<!-- <ul id=\"ListViewInner\"> -->",
         noResults},
        {"today's results", 0, 200, search, "<title>Security Measure | eBay</title>" + listing, ""},
        {"the older results list", 0, 200, search,
         "<title>Pardon Our Interruption</title><ul id=\"ListViewInner\"></ul>", ""},
        {"no exact matches for \"security measure\"", 0, 200, search,
         "<title>security measure | eBay</title><h1>0 results</h1><div class=srp-save-null-search>"
         "<h3>No exact matches found</h3>",
         ""},
        {"uBid's pages are taken as they come", 4, 200, "http://www.ubid.com/splashui/x", "", ""},
        {"the described rules take every page", 0, 200, challenge, "", "", LinkRules::Described},
        {"nor is a 403 a refusal there", 0, 403, search, std::nullopt, "failed: ebay.com answered 403",
         LinkRules::Described},
    };
    for (const auto &c : cases) {
        const std::optional<std::string_view> page = c.page ? std::optional<std::string_view>(*c.page) : std::nullopt;
        EXPECT_EQ(verdictOf(JudgeCheck(c.site, {c.status, false, false, c.address}, page, c.rules)), c.verdict)
            << c.name;
    }
}

TEST(SiteChecks, ARefusedCheckOffersItsSearchInTheBrowserWhileItStands)
{
    SiteChecks checks;
    EXPECT_TRUE(checks.Failed(0, "US refused", "http://www.ebay.com/sch/i.html?_nkw=x"));
    EXPECT_FALSE(checks.Failed(1, "Canada down"));
    EXPECT_EQ(checks.RefusedSearch(), "http://www.ebay.com/sch/i.html?_nkw=x");
    EXPECT_EQ(checks.LatestFailureLine(), "Canada down");
    checks.Failed(0, "US down");
    EXPECT_EQ(checks.RefusedSearch(), "") << "the site's last check is no refusal";
    checks.Failed(2, "UK refused", "http://www.ebay.co.uk/sch/i.html?_nkw=x");
    checks.Succeeded(2);
    EXPECT_EQ(checks.RefusedSearch(), "");

    EXPECT_EQ(CheckFailedBalloonText("Last check failed at 14:00: ebay.com answered 503", CheckFailure::Failed),
              "Last check failed at 14:00: ebay.com answered 503");
    EXPECT_EQ(CheckFailedBalloonText("Last check failed at 14:00: ebay.com answered 403", CheckFailure::Refused),
              "Last check failed at 14:00: ebay.com answered 403\n"
              "Open the search in your browser, where you can pass the check, or give Lotfinch eBay API keys "
              "(eBay Access...).");
}
