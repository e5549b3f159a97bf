#include <gtest/gtest.h>

#include "core/SiteChecks.h"

using namespace lotfinch::core;

TEST(SiteChecks, FailuresInPlainWords)
{
    struct Case
    {
        FetchOutcome outcome;
        const char *reason;
    };
    const Case cases[] = {
        {{-1, false}, "could not connect to ebay.com"},
        {{-1, true}, "ebay.com timed out"},
        {{503, false}, "ebay.com answered 503"},
        {{404, false}, "ebay.com answered 404"},
        {{200, false}, "the page from ebay.com arrived cut short"},
        {{-1, false, true}, "the HTTP helper could not be started"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FailureReason(c.outcome, "ebay.com"), c.reason);
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
