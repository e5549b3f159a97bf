#include <gtest/gtest.h>

#include "core/EbayApiClient.h"
#include "support/FixtureSite.h"

using namespace lotfinch;

TEST(EbayApiClient, KeepsTheTokenUntilShortlyBeforeItExpires)
{
    test::FixtureSite site;
    ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
    auto now = std::chrono::steady_clock::now();
    core::EbayApiClient api(nullptr, [&now] { return now; });
    api.setBase(site.proxyUrl().toStdString());
    const core::ApiKeys keys{"lotfinch-fixture-id", "lotfinch-fixture-secret"};
    auto tokenRequests = [&] { return site.requestLines().filter("POST /identity/v1/oauth2/token ").size(); };

    struct Step
    {
        std::chrono::seconds later; // since the token was handed out (7200 s)
        qsizetype tokens;           // token requests by then
    };
    const Step steps[] = {
        {std::chrono::seconds(0), 1}, {std::chrono::seconds(7000), 1}, {std::chrono::seconds(7100), 2}};
    const auto handedOut = now;
    for (const Step &step : steps) {
        now = handedOut + step.later;
        const core::ApiResult result = api.Search(keys, 0, "digital camera");
        EXPECT_TRUE(result.ok) << result.reason;
        EXPECT_EQ(result.items.size(), 3u);
        EXPECT_EQ(tokenRequests(), step.tokens) << step.later.count();
    }
    // Other keys get a token of their own. Once refused, they are not
    // offered again by the other sites of the pass, only some minutes later.
    const core::ApiKeys refused{"lotfinch-fixture-id", "other"};
    for (int site = 0; site < 4; ++site)
        EXPECT_TRUE(api.Search(refused, site, "digital camera").keysRefused);
    EXPECT_EQ(tokenRequests(), 3);
    EXPECT_TRUE(api.Search(keys, 0, "digital camera").ok);
    EXPECT_EQ(tokenRequests(), 4);
    now += std::chrono::minutes(10);
    EXPECT_TRUE(api.Search(refused, 0, "digital camera").keysRefused);
    EXPECT_EQ(tokenRequests(), 5);
    EXPECT_FALSE(api.TestKeys(refused).ok) << "a test of the keys always asks";
    EXPECT_EQ(tokenRequests(), 6);
}
