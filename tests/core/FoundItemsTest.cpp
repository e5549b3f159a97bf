#include <QLocale>
#include <cctype>
#include <gtest/gtest.h>

#include "core/FoundItems.h"

using namespace lotfinch;
using core::DateTimeSeparators;
using core::FoundItemList;

TEST(FoundItems, TimeStampUsesTheGivenSeparators)
{
    struct Case
    {
        QDateTime time;
        DateTimeSeparators separators;
        const char *expected;
    };
    const Case cases[] = {
        {QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)), {"/", ":"}, "12/07/2026 14:05:09"},
        {QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)), {".", ":"}, "12.07.2026 14:05:09"},
        {QDateTime(QDate(2026, 1, 2), QTime(0, 0, 0)), {"-", "."}, "01-02-2026 00.00.00"},
        {QDateTime(QDate(999, 3, 4), QTime(23, 59, 59)), {"/", ":"}, "03/04/0999 23:59:59"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(core::FormatTimeStamp(c.time, c.separators), c.expected);
}

TEST(FoundItems, SeparatorsComeFromTheLocale)
{
    struct Case
    {
        const char *locale;
        const char *date;
        const char *time;
    };
    const Case cases[] = {
        {"en_US", "/", ":"}, {"de_DE", ".", ":"}, {"fi_FI", ".", "."},
        {"sv_SE", "-", ":"}, {"ko_KR", ".", ":"}, // "yy. M. d." and "AP h:mm": blanks are not separators
        {"C", "/", ":"},                          // "d MMM yyyy" has no separator but a blank
    };
    for (const auto &c : cases) {
        DateTimeSeparators separators = core::LocaleDateTimeSeparators(QLocale(c.locale));
        EXPECT_EQ(separators.date, c.date) << c.locale;
        EXPECT_EQ(separators.time, c.time) << c.locale;
    }
}

namespace {

// A clock that moves one second per reading.
FoundItemList steppingList()
{
    auto seconds = std::make_shared<int>(0);
    return FoundItemList({"/", ":"},
                         [seconds] { return QDateTime(QDate(2026, 7, 12), QTime(14, 5, 0)).addSecs((*seconds)++); });
}

} // namespace

TEST(FoundItems, AddFoundItemKeepsDistinctLinksNewestFirst)
{
    struct Step
    {
        std::string link;
        std::string title;
        bool added;
        text::StringList items;
        text::StringList descriptions;
        const char *latest;
    };
    const std::string cafe = "http://www.ubid.com/Caf\xE9/1.aspx";
    const std::string cafeUpper = "http://www.ubid.com/CAF\xC9/1.aspx";
    const std::vector<Step> steps = {
        {" \r\nhttp://www.ebay.com/itm/1\t",
         "First",
         true,
         {"http://www.ebay.com/itm/1"},
         {"07/12/2026 14:05:00  First"},
         "Most recent auction listing found: 07/12/2026 14:05:00  First"},
        {"HTTP://WWW.EBAY.COM/ITM/1",
         "Other title",
         false,
         {"http://www.ebay.com/itm/1"},
         {"07/12/2026 14:05:00  First"},
         "Most recent auction listing found: 07/12/2026 14:05:00  First"},
        {cafe,
         "",
         true,
         {cafe, "http://www.ebay.com/itm/1"},
         {"07/12/2026 14:05:01  ", "07/12/2026 14:05:00  First"},
         "Most recent auction listing found: 07/12/2026 14:05:01  "},
        // Letters of the upper half of the code page compare without case too.
        {cafeUpper,
         "x",
         false,
         {cafe, "http://www.ebay.com/itm/1"},
         {"07/12/2026 14:05:01  ", "07/12/2026 14:05:00  First"},
         "Most recent auction listing found: 07/12/2026 14:05:01  "},
        {"http://www.ebay.com/itm/2",
         "100% %s",
         true,
         {"http://www.ebay.com/itm/2", cafe, "http://www.ebay.com/itm/1"},
         {"07/12/2026 14:05:02  100% %s", "07/12/2026 14:05:01  ", "07/12/2026 14:05:00  First"},
         "Most recent auction listing found: 07/12/2026 14:05:02  100% %s"},
        // Offering an older link again points the latest text at the newest entry.
        {"http://www.ebay.com/itm/1 ",
         "",
         false,
         {"http://www.ebay.com/itm/2", cafe, "http://www.ebay.com/itm/1"},
         {"07/12/2026 14:05:02  100% %s", "07/12/2026 14:05:01  ", "07/12/2026 14:05:00  First"},
         "Most recent auction listing found: 07/12/2026 14:05:02  100% %s"},
    };
    FoundItemList found = steppingList();
    int n = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE("step " + std::to_string(n++));
        EXPECT_EQ(found.AddFoundItem(step.link, step.title), step.added);
        EXPECT_EQ(found.FoundItems(), step.items);
        EXPECT_EQ(found.FoundDescriptions(), step.descriptions);
        EXPECT_EQ(found.LatestFoundText(), step.latest);
    }
}

TEST(FoundItems, ClearEmptiesBothListsAndTheIndex)
{
    FoundItemList found = steppingList();
    found.AddFoundItem("http://www.ebay.com/itm/1", "One");
    found.AddFoundItem("http://www.ebay.com/itm/2", "Two");
    // Not asked for before the list is cleared: it is kept all the same.
    std::string latest = "Most recent auction listing found: " + found.FoundDescriptions()[0];
    found.Clear();
    EXPECT_TRUE(found.empty());
    EXPECT_TRUE(found.FoundDescriptions().empty());
    EXPECT_FALSE(found.Contains("http://www.ebay.com/itm/1"));
    EXPECT_EQ(found.LatestFoundText(), latest);
    EXPECT_TRUE(found.AddFoundItem("http://www.EBAY.com/itm/1", "Again"));
    EXPECT_EQ(found.FoundItems(), (text::StringList{"http://www.EBAY.com/itm/1"}));
}

TEST(FoundItems, ManyItemsStayParallelAndDistinct)
{
    FoundItemList found({"/", ":"}, [] { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)); });
    const int n = 30000;
    for (int i = 0; i < n; ++i)
        found.AddFoundItem("http://www.ebay.com/itm/" + std::to_string(i), std::string("T").append(std::to_string(i)));
    for (int i = 0; i < n; i += 7)
        EXPECT_FALSE(found.AddFoundItem("HTTP://WWW.EBAY.COM/itm/" + std::to_string(i), "again"));
    ASSERT_EQ(found.count(), n);
    ASSERT_EQ(found.FoundDescriptions().count(), n);
    for (int i = 0; i < n; i += 997) {
        int id = n - 1 - i;
        EXPECT_EQ(found.FoundItems()[i], "http://www.ebay.com/itm/" + std::to_string(id));
        EXPECT_EQ(found.FoundDescriptions()[i], "01/01/2026 00:00:00  T" + std::to_string(id));
    }
}

TEST(FoundItems, CopiesKeepTheirOwnIndex)
{
    FoundItemList original = steppingList();
    for (int i = 0; i < 5000; ++i)
        original.AddFoundItem("http://www.ebay.com/itm/" + std::to_string(i), "");
    FoundItemList copy = original;
    EXPECT_TRUE(copy.AddFoundItem("http://www.ebay.com/itm/new", ""));
    EXPECT_FALSE(copy.AddFoundItem("HTTP://WWW.EBAY.COM/ITM/4999", ""));
    EXPECT_FALSE(original.Contains("http://www.ebay.com/itm/new"));
    EXPECT_TRUE(original.AddFoundItem("http://www.ebay.com/itm/NEW", ""));
    EXPECT_EQ(copy.count(), 5001);
    EXPECT_EQ(original.count(), 5001);
    EXPECT_EQ(copy.FoundItems()[0], "http://www.ebay.com/itm/new");
    EXPECT_EQ(original.FoundItems()[0], "http://www.ebay.com/itm/NEW");
}

TEST(FoundItems, LinksOfEveryLengthAreFoundAgainInTheListAndItsCopies)
{
    // Short and long links fill the index's storage unevenly; one is longer
    // than any of its blocks.
    std::vector<std::string> links;
    for (size_t length : {1, 15, 16, 200, 1000, 5000, 70000})
        for (char fill : {'a', 'b'})
            links.push_back("http://www.ubid.com/" + std::string(length, fill));
    FoundItemList original = steppingList();
    for (const auto &link : links)
        EXPECT_TRUE(original.AddFoundItem(link, ""));
    FoundItemList copy = original;
    EXPECT_TRUE(copy.AddFoundItem("http://www.ubid.com/" + std::string(3000, 'c'), ""));
    for (const auto &link : links) {
        std::string upper = link;
        for (char &c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(original.Contains(upper)) << link.size();
        EXPECT_FALSE(copy.AddFoundItem(upper, "")) << link.size();
    }
    EXPECT_FALSE(original.Contains("http://www.ubid.com/" + std::string(3000, 'c')));
    EXPECT_EQ(copy.count(), original.count() + 1);
}

// ... and the current rules list an eBay item by its own address, any other
// link with its references decoded.
TEST(FoundItems, ItemNumberIsTheLastRunOfNineToThirteenDigitsInTheItemPath)
{
    struct Case
    {
        const char *link;
        const char *number;
        const char *key;
        const char *listed; // nullptr: the link as it stands
    };
    const Case cases[] = {
        {"https://www.ebay.com/itm/123456789012?_skw=x&hash=item1234567890", "123456789012", "ebay.com/123456789012",
         "https://www.ebay.com/itm/123456789012"},
        {"http://WWW.EBAY.co.uk:80/itm/Canon-AE-1-2012345678-/204512345678#tab", "204512345678",
         "ebay.co.uk/204512345678", "https://www.ebay.co.uk/itm/204512345678"},
        {"https://user@m.ebay.com/itm/Title-Only/999999999", "999999999", "m.ebay.com/999999999",
         "https://m.ebay.com/itm/999999999"},
        {"//ebay.com.au/itm/Lens/1234567890?a=1&amp;b=2", "1234567890", "ebay.com.au/1234567890",
         "https://ebay.com.au/itm/1234567890"},
        {"/itm/1234567890123", "1234567890123", "/1234567890123", nullptr},
        {"https://www.ebay.com/itm/12345678/12345678901234", "", "", nullptr}, // 8 and 14 digits
        {"https://www.ebay.com/sch/123456789012", "", "", nullptr},
        {"https://www.ebay.com/itm/Title?id=123456789012&amp;x", "", "",
         "https://www.ebay.com/itm/Title?id=123456789012&x"},
        {"https://shop.example/itm/123456789?a=1&amp;b=&#60;", "123456789", "shop.example/123456789",
         "https://shop.example/itm/123456789?a=1&b=<"},
        {"http://www.ubid.com/c/3.aspx?a&amp;b&#38;c&#x26;d&nosuch;&", "", "",
         "http://www.ubid.com/c/3.aspx?a&b&c&d&nosuch;&"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(core::ItemNumberOf(c.link), c.number) << c.link;
        EXPECT_EQ(core::ItemKeyOf(c.link), c.key) << c.link;
        EXPECT_EQ(core::ListedLink(c.link), c.listed ? c.listed : c.link) << c.link;
    }
}

TEST(FoundItems, UnderTheCurrentRulesAnItemIsKeptOnceWhateverItsLinkCarries)
{
    const std::string first = "https://www.ebay.com/itm/196123456781?itmmeta=01K3AAA&hash=item2d";
    struct Offer
    {
        std::string link;
        bool newUnderCurrentRules;
        bool newUnderDescribedRules;
    };
    const Offer offers[] = {
        {first, true, true},
        {"https://www.ebay.com/itm/196123456781?itmmeta=01K3BBB&hash=item2d", false, true},
        {"http://ebay.com/itm/Nikon-F3/196123456781", false, true},
        // A second link of an item, in other letter case: listed once, under either rules.
        {"HTTPS://WWW.EBAY.COM/itm/196123456781?ITMMETA=01K3BBB&HASH=ITEM2D", false, false},
        {"https://www.ebay.co.uk/itm/196123456781", true, true}, // another site
        {"https://www.ebay.com/itm/296123456781", true, true},
        {"https://www.ebay.com/itm/no-number", true, true},
        {"HTTPS://WWW.EBAY.COM/ITM/NO-NUMBER", false, false},
    };
    for (core::LinkRules rules : {core::LinkRules::Current, core::LinkRules::Described}) {
        FoundItemList found({"/", ":"}, {}, rules);
        for (const auto &offer : offers)
            EXPECT_EQ(found.AddFoundItem(offer.link, "t"),
                      rules == core::LinkRules::Current ? offer.newUnderCurrentRules : offer.newUnderDescribedRules)
                << offer.link;
        EXPECT_EQ(found.FoundItems()[found.count() - 1], first) << "the first link of an item is the one kept";
        // Switching rules later keeps every listed item's key.
        found.setRules(core::LinkRules::Current);
        EXPECT_TRUE(found.Contains("https://ebay.com/itm/196123456781?other"));
        EXPECT_FALSE(found.AddFoundItem("https://ebay.com/itm/x/296123456781", ""));
    }
}
