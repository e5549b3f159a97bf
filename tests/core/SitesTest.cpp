#include <gtest/gtest.h>

#include "core/Sites.h"

using namespace lotfinch::core;

TEST(Sites, SearchAddressesCarryTheEncodedPhrase)
{
    struct Case
    {
        int site;
        std::string phrase, expected;
    } cases[] = {
        {0, "digital camera",
         "http://www.ebay.com/sch/i.html?_from=R40&_trksid=p5197.m570.l1313&_nkw=digital%20camera&_sacat=See-All-"
         "Categories"},
        {1, "50% off",
         "http://www.ebay.ca/sch/i.html?_from=R40&_trksid=p5197.m570.l1313&_nkw=50%25%20off&_sacat=See-"
         "All-Categories"},
        {2, "A+B",
         "http://www.ebay.co.uk/sch/i.html?_from=R40&_trksid=p5197.m570.l1313&_nkw=A%2BB&_sacat=See-All-Categories"},
        {3, "tom & jerry =?",
         "http://www.ebay.com.au/sch/i.html?_from=R40&_trksid=p3907.m570.l1313&_nkw=tom%20%26%20jerry%20%3D?&_"
         "sacat=See-All-Categories"},
        {4, "caf\xE9\t", "http://www.ubid.com/category/listing.aspx?qs=caf%E9%09&catid=0"},
        {4, "", "http://www.ubid.com/category/listing.aspx?qs=&catid=0"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SearchAddress(c.site, c.phrase), c.expected);
    EXPECT_THROW(SearchAddress(AllSitesIndex, "x"), std::out_of_range);
}

TEST(Sites, ShortNamesAreInTheHostOfTheirItemLinks)
{
    for (int i = 0; i < RealSiteCount; ++i) {
        const Site &site = SiteAt(i);
        EXPECT_EQ(std::string(site.shortName), site.domain);
        EXPECT_NE(SearchAddress(i, "x").find(std::string("http://www.") + site.domain + "/"), std::string::npos);
        EXPECT_EQ(site.trayImage, i + 1);
    }
    EXPECT_STREQ(SiteAt(AllSitesIndex).listText, "all ebay and ubid sites");
    EXPECT_STREQ(SiteAt(AllSitesIndex).shortName, "ebay and/or ubid");
}

TEST(Sites, SitesOfAPass)
{
    EXPECT_EQ(SitesOfPass(0), std::vector<int>{0});
    EXPECT_EQ(SitesOfPass(4), std::vector<int>{4});
    std::vector<int> all{0, 1, 2, 3, 4};
    EXPECT_EQ(SitesOfPass(5), all);
    EXPECT_EQ(SitesOfPass(9), all);  // anything at or past the last entry means all sites
    EXPECT_EQ(SitesOfPass(-1), all); // no selection: all sites rather than a site that does not exist
}

TEST(Sites, IntervalsAndCaptions)
{
    int64_t expected[] = {86'400'000, 43'200'000, 21'600'000, 7'200'000, 3'600'000};
    for (int i = 0; i < IntervalCount; ++i)
        EXPECT_EQ(IntervalMilliseconds(i), expected[i]);
    EXPECT_STREQ(IntervalAt(4).hintWord, "hour");

    EXPECT_EQ(SiteChangeCaption(2, false), "ebay.co.uk (UK) Links Matching: ");
    EXPECT_EQ(SiteChangeCaption(5, false), "all ebay and ubid sites Links Matching: ");
    EXPECT_EQ(SiteChangeCaption(2, true), "Auction Links Matching: ");
}
