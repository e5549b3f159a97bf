#include <gtest/gtest.h>

#include "core/EbayApiAnswers.h"
#include "core/EbayApiClient.h"

using namespace lotfinch::core;

TEST(EbayApiAnswers, ASearchAnswerIsReadWholeOrNotAtAll)
{
    struct Case
    {
        std::string body;
        int items; // -1: refused
    };
    const Case cases[] = {
        {R"({"itemSummaries":[{"legacyItemId":"123456789012","title":"A"},{"legacyItemId":"2","title":"B"}]})", 2},
        {R"({"total":0,"limit":200})", 0},
        {R"({"itemSummaries":[{"legacyItemId":"12x","title":"letters"},{"title":"none"},)"
         R"({"legacyItemId":123,"title":"a number"},{"legacyItemId":"123456789012345678901","title":"too long"}]})",
         0},
        {R"({"itemSummaries":{"legacyItemId":"1"}})", -1},
        {R"({"itemSummaries":["1"]})", -1},
        {R"([{"legacyItemId":"1"}])", -1},
        {R"({"itemSummaries":[{"legacyItemId":"1")", -1},
        {"", -1},
        {"{\"itemSummaries\":[]," + std::string(MaxApiAnswerBytes, ' ') + "\"x\":1}", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body.substr(0, 80));
        const auto items = ReadSearchAnswer(c.body);
        ASSERT_EQ(items.has_value(), c.items >= 0);
        if (items) {
            EXPECT_EQ(static_cast<int>(items->size()), c.items);
        }
    }
    const auto items = ReadSearchAnswer(R"({"itemSummaries":[{"legacyItemId":"7","title":"Caf\u00e9 \u6771"}]})");
    ASSERT_TRUE(items && items->size() == 1);
    EXPECT_EQ((*items)[0].itemNumber, "7");
    EXPECT_EQ((*items)[0].title, "Caf\xC3\xA9 \xE6\x9D\xB1");
}

TEST(EbayApiAnswers, ATokenNeedsTextAndALifetime)
{
    struct Case
    {
        const char *body;
        bool read;
    };
    const Case cases[] = {
        {R"({"access_token":"v^1.1#i^1","expires_in":7200,"token_type":"Application Access Token"})", true},
        {R"({"access_token":"","expires_in":7200})", false},
        {R"({"access_token":"t","expires_in":"7200"})", false},
        {R"({"access_token":"t","expires_in":0})", false},
        {R"({"access_token":"t","expires_in":0.4})", false},
        {R"({"access_token":"t\r\nX-Injected: 1","expires_in":7200})", false},
        {R"({"expires_in":7200})", false},
        {"not json", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body);
        const auto token = ReadTokenAnswer(c.body);
        EXPECT_EQ(token.has_value(), c.read);
        if (token) {
            EXPECT_EQ(token->expiresInSeconds, 7200);
        }
    }
}

TEST(EbayApiAnswers, ErrorsOfTheTokenServiceAndOfTheApi)
{
    ApiError token =
        ReadErrorAnswer(R"({"error":"invalid_client","error_description":"client authentication failed"})");
    EXPECT_EQ(token.error, "invalid_client");
    EXPECT_EQ(token.message, "client authentication failed");
    ApiError api = ReadErrorAnswer(R"({"errors":[{"errorId":2001,"message":"Too many"},{"errorId":1,"message":"x"}]})");
    EXPECT_EQ(api.errorId, 2001);
    EXPECT_EQ(api.message, "Too many");
    ApiError none = ReadErrorAnswer("<html>Bad Gateway</html>");
    EXPECT_EQ(none.errorId, 0);
    EXPECT_TRUE(none.message.empty());
}

TEST(EbayApiAddresses, KeysGoOnlyToHttpsOrALoopbackLiteral)
{
    struct Case
    {
        const char *base;
        bool allowed;
        bool loopbackHttp;
    };
    const Case cases[] = {
        {"https://api.ebay.com", true, false},
        {"https://api.sandbox.ebay.com", true, false},
        {"HTTPS://api.ebay.com", true, false},
        {"http://127.0.0.1:8080", true, true},
        {"http://127.45.6.7", true, true},
        {"http://[::1]:9000", true, true},
        {"http://api.ebay.com", false, false},
        {"http://localhost:8080", false, false},
        {"http://128.0.0.1", false, false},
        {"http://127.0.0.1.evil.example", false, false},
        {"http://127.0.0.1@evil.example", false, false},
        {"http://evil.example/?127.0.0.1", false, false},
        {"http://[::ffff:127.0.0.1]", false, false},
        {"ftp://127.0.0.1", false, false},
        {"https://", false, false},
        {"", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.base);
        EXPECT_EQ(ApiBaseAllowed(c.base), c.allowed);
        EXPECT_EQ(IsLoopbackHttp(c.base), c.loopbackHttp);
    }
}

TEST(EbayApiAddresses, TheSearchEncodesEveryQueryValue)
{
    EXPECT_EQ(ApiSearchAddress("https://api.ebay.com", "a&b=c+d \xE6\x9D\xB1"),
              "https://api.ebay.com/buy/browse/v1/item_summary/search?q=a%26b%3Dc%2Bd%20%E6%9D%B1"
              "&sort=newlyListed&limit=200&filter=buyingOptions%3A%7BAUCTION%7CFIXED_PRICE%7D");
    const char *links[] = {"https://www.ebay.com/itm/1", "https://www.ebay.ca/itm/1", "https://www.ebay.co.uk/itm/1",
                           "https://www.ebay.com.au/itm/1"};
    const char *marketplaces[] = {"EBAY_US", "EBAY_CA", "EBAY_GB", "EBAY_AU"};
    for (int site = 0; site < 4; ++site) {
        EXPECT_EQ(ApiItemLink(site, "1"), links[site]);
        EXPECT_STREQ(MarketplaceOf(site), marketplaces[site]);
    }
    EXPECT_FALSE(IsApiSite(4)) << "uBid keeps its page check";
}
