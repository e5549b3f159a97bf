#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <random>

#include "core/FoundItems.h"
#include "core/LinkScan.h"
#include "core/LiteralLinkScan.h"
#include "core/ResultPage.h"
#include "support/FixtureSite.h"
#include "text/AnsiText.h"

using namespace lotfinch;
using core::FoundItemList;

namespace {

struct Offer
{
    std::string link;
    std::string title;
    bool operator==(const Offer &) const = default;
};

void PrintTo(const Offer &offer, std::ostream *os)
{
    *os << "{" << testing::PrintToString(offer.link) << ", " << testing::PrintToString(offer.title) << "}";
}

struct Scan
{
    int count = 0;
    std::vector<Offer> offers;
    bool operator==(const Scan &) const = default;
};

void PrintTo(const Scan &scan, std::ostream *os)
{
    *os << scan.count << " " << testing::PrintToString(scan.offers);
}

template <typename Scanner> Scan collect(Scanner scanner, std::string_view page)
{
    Scan scan;
    scan.count = scanner(page, [&](std::string_view link, std::string_view title) {
        scan.offers.push_back({std::string(link), std::string(title)});
    });
    return scan;
}

Scan scanned(std::string_view page, core::LinkRules rules = core::LinkRules::Described)
{
    return collect([rules](std::string_view text,
                           const core::ItemLinkSink &sink) { return core::ScanItemLinks(text, sink, rules); },
                   page);
}

Scan literal(std::string_view page)
{
    return collect(
        [](std::string_view text, const core::ItemLinkSink &sink) { return test::LiteralScanItemLinks(text, sink); },
        page);
}

FoundItemList fixedList(core::LinkRules rules = core::LinkRules::Described)
{
    return FoundItemList(
        {"/", ":"}, [] { return QDateTime(QDate(2026, 7, 12), QTime(14, 5, 9)); }, rules);
}

text::LineText linesOf(std::initializer_list<std::string> lines)
{
    std::string text;
    for (const std::string &line : lines)
        text.append(line).append("\n");
    text::LineText page;
    page.setText(text);
    return page;
}

std::string readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::vector<std::string> fixturePages()
{
    std::vector<std::string> pages;
    QDir root(test::FixtureSite::pagesPath());
    for (const QString &site : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString &file : QDir(root.filePath(site)).entryList({"*.html"}, QDir::Files))
            pages.push_back(readFile(root.filePath(site + "/" + file)));
    return pages;
}

const std::string item1 = "http://www.ebay.com/itm/Nikon-L24-/2312345678";
const std::string item2 = "http://www.ebay.com/itm/Canon-SX130-/2312353597";

// A page of up to maxPieces pieces, picked at random.
std::string randomPage(const std::vector<std::string> &pieces, int maxPieces, std::mt19937 &random)
{
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string page;
    int length = std::uniform_int_distribution<int>(0, maxPieces)(random);
    for (int i = 0; i < length; ++i)
        page += pieces[pick(random)];
    return page;
}

} // namespace

TEST(LinkScan, HandsOverItemLinksAsThePageHoldsThem)
{
    struct Case
    {
        const char *name;
        std::string page;
        Scan expected;
    };
    const Case cases[] = {
        {"empty page", "", {}},
        {"no links", "<html><body>Nothing here</body></html>\r\n", {}},
        {"only other links", "<a href=\"/help\">Help</a><a href=\"http://www.ebay.com/sch/x\">x</a>\r\n", {}},
        {"the same link three times counts three times",
         "<a href=\"" + item1 + "\"><img></a><a href=\"" + item1 + "\"><span class=\"g-b\">Nikon</span></a><a href=\"" +
             item1 + "\">again</a>",
         {3, {{item1, "Nikon"}, {item1, "Nikon"}, {item1, ""}}}},
        {"title from the next title marker, markup and references kept, not trimmed",
         "<a href=\"" + item1 + "\">x</a><a href=\"" + item2 + "\"><span class=\"g-b\"> A &amp; <b>B</b></span></a>",
         {2, {{item1, " A &amp; <b>B"}, {item2, " A &amp; <b>B"}}}},
        {"no title marker after the link: empty title, not unrelated page text",
         "<span class=\"g-b\">Old</span><a href=\"" + item1 + "\">Item one</a> more text</p>\r\n",
         {1, {{item1, ""}}}},
        {"title marker without a stop", "<a href=\"" + item1 + "\"><span class=\"g-b\">Cut off", {1, {{item1, ""}}}},
        {"white space inside the quotes is handed over as it stands",
         "<a href=\" \r\n" + item1 + "\t\">x</a>",
         {1, {{" \r\n" + item1 + "\t", ""}}}},
        {"upper-case marker wins: lower-case links before it are passed over",
         "<a href=\"" + item1 + "\">1</a><A HREF=\"" + item2 + "\">2</A><a href=\"http://www.ebay.com/itm/3\">3</a>",
         {2, {{item2, ""}, {"http://www.ebay.com/itm/3", ""}}}},
        {"items in HREF and other links in href",
         "<a href=\"/help\">h</a><A HREF=\"" + item1 + "\">1</A><a href=\"/sch/more\">m</a><A HREF=\"" + item2 +
             "\">2</A><a href=\"/footer\">f</a>",
         {2, {{item1, ""}, {item2, ""}}}},
        {"other spellings are not markers", "<a Href=\"" + item1 + "\">x</a><a href = \"" + item2 + "\">y</a>", {}},
        {"uBid value: line breaks and blanks removed, host put in front",
         "<a href=\"&#xA;    /Cameras/Nikon/300120000.aspx&#xA;  \">Nikon</a>",
         {1, {{"http://www.ubid.com/Cameras/Nikon/300120000.aspx", ""}}}},
        {"uBid line breaks that a removal joins are removed too",
         "<a href=\"&#x&#xA;A;/x/y&#xA;\">x</a>",
         {1, {{"http://www.ubid.com/x/y", ""}}}},
        {"uBid script links and single characters are dropped",
         "<a href=\"&#xA;javascript:addToWatch(1);&#xA;\">w</a><a href=\"&#xA;/&#xA;\">1</a>"
         "<a href=\"&#xA;ab\">ab</a>",
         {1, {{"http://www.ubid.comab", ""}}}},
        {"a line-break reference makes any other link a uBid link",
         "<a href=\"http://www.ebay.com/sch/&#xA;x\">x</a>",
         {1, {{"http://www.ubid.comhttp://www.ebay.com/sch/x", ""}}}},
        {"empty and unclosed values are ignored", "<a href=\"\">e</a><a href=\"" + item1, {}},
        {"NUL bytes are plain text to the scan",
         "<a href=\"" + item1 + "\">" + std::string(1, '\0') + "<a href=\"" + item2 + "\">" + std::string(1, '\0'),
         {2, {{item1, ""}, {item2, ""}}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scanned(c.page), c.expected);
        EXPECT_EQ(literal(c.page), c.expected);
    }
}

TEST(LinkScan, ExtractLinksKeepsEachItemOnceAndCountsEveryItemLink)
{
    text::LineText page = linesOf({"<a href=\"" + item1 + "\"><span class=\"g-b\">Nikon L24</span></a>",
                                   "<a href=\"  " + item1 + "\r\">again</a>",
                                   "<a href=\"HTTP://WWW.EBAY.COM/itm/NIKON-L24-/2312345678\">case</a>",
                                   "<a href=\"&#xA;  /Cameras/300120000.aspx&#xA;\">uBid</a>",
                                   "<a href=\"" + item2 + "\"><span class=\"g-b\">Canon SX130</span></a>"});
    FoundItemList found = fixedList();
    EXPECT_EQ(core::ExtractLinks(page, found), 5);
    EXPECT_EQ(found.FoundItems(), (text::StringList{item2, "http://www.ubid.com/Cameras/300120000.aspx", item1}));
    EXPECT_EQ(found.FoundDescriptions(), (text::StringList{"07/12/2026 14:05:09  Canon SX130", "07/12/2026 14:05:09  ",
                                                           "07/12/2026 14:05:09  Nikon L24"}));
    std::string latest = found.LatestFoundText();
    EXPECT_EQ(latest, "Most recent auction listing found: 07/12/2026 14:05:09  Canon SX130");

    // The same page again adds nothing but still counts its item links.
    EXPECT_EQ(core::ExtractLinks(page, found), 5);
    EXPECT_EQ(found.count(), 3);
    EXPECT_EQ(found.LatestFoundText(), latest);

    // Lines are joined with CR LF, so a link never runs across a line end unnoticed.
    text::LineText split = linesOf({"<a href=\"http://www.ebay.com/it", "m/1\">"});
    FoundItemList other = fixedList();
    EXPECT_EQ(core::ExtractLinks(split, other), 0);
}

TEST(LinkScan, SetPageLinesCutsAtNulAndSplitsLines)
{
    struct Case
    {
        std::string body;
        std::string_view text; // the lines, each followed by CR LF
    };
    const Case cases[] = {
        {"", ""},
        {"one", "one\r\n"},
        {"a\r\nb\nc\rd\r\n", "a\r\nb\r\nc\r\nd\r\n"},
        {"a\n\nb", "a\r\n\r\nb\r\n"},
        {"a\r\r\n\n\rb\r", "a\r\n\r\n\r\n\r\nb\r\n"},
        {"\r\n\r", "\r\n\r\n"},
        {std::string("a\r\nb\0c\r\nd", 9), "a\r\nb\r\n"},
        {std::string("\0a", 2), ""},
    };
    for (const auto &c : cases) {
        text::LineText lines;
        lines.setText("old");
        core::SetPageLines(lines, c.body);
        EXPECT_EQ(lines.text(), c.text) << testing::PrintToString(c.body);
    }
}

TEST(LinkScan, BalloonText)
{
    EXPECT_EQ(core::FoundBalloonText("digital camera"), "Matches for digital camera.");
    EXPECT_EQ(core::FoundBalloonText("100%s"), "Matches for 100%s.");
}

// The linear scan and the plain one agree on pages made of the pieces the
// scan reacts to, in random order.
TEST(LinkScan, AgreesWithThePlainScanOnGeneratedPages)
{
    const std::vector<std::string> pieces = {
        "href=\"",
        "HREF=\"",
        "Href=\"",
        "\"",
        "\"",
        "/itm/",
        "/itm/",
        "&#xA;",
        "&#xA;",
        "&#xA",
        "&#x",
        "A;",
        "g-b\">",
        "g-b\">",
        "</",
        "<",
        "/",
        " ",
        "\r\n",
        "\t",
        "javascript",
        "x",
        "ab",
        "http://www.ebay.com/itm/9",
        "Title",
        ">",
        std::string(1, '\0'),
        "\xE9",
        "href=\"http://www.ebay.com/itm/1\"",
        "<a href=\"&#xA; /c/1.aspx&#xA;\">",
    };
    std::mt19937 random(20260712);
    for (int round = 0; round < 3000; ++round) {
        const std::string page = randomPage(pieces, 120, random);
        ASSERT_EQ(scanned(page), literal(page)) << testing::PrintToString(page);
    }
}

// Values in double quotes that lead nowhere make the scan read the page a
// second time for the unquoted ones, which must then be read alike.
TEST(LinkScan, UnquotedValuesAreReadAlikeBehindQuotedValuesThatLeadNowhere)
{
    // No piece makes a value in double quotes.
    const std::vector<std::string> pieces = {
        "href=", "HREF =", " href='",    " href=",    "'",   "=",    "f=", "/itm/",       "/itm/196123456781",
        "&#xA;", "&#xA",   "g-b\">",     "</",        "<a ", "</a>", ">",  "<img alt=x>", "Title",
        " ",     "\r\n",   "javascript", "/c/3.aspx", "x",
    };
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        const std::string page = randomPage(pieces, 80, random);
        ASSERT_EQ(scanned("<link href=\"srp.css\"> " + page, core::LinkRules::Current),
                  scanned(page, core::LinkRules::Current))
            << testing::PrintToString(page);
    }
}

// ... and on the saved pages of the fixture site, as they are and damaged.
TEST(LinkScan, AgreesWithThePlainScanOnSavedAndDamagedPages)
{
    const auto pages = fixturePages();
    ASSERT_GE(pages.size(), 10u);
    const std::string alphabet = "\"<>/=&#;xAhrefHREFitmg-b \r\n\0";
    std::mt19937 random(7);
    int withItems = 0;
    for (const auto &page : pages) {
        Scan whole = scanned(page);
        ASSERT_EQ(whole, literal(page));
        withItems += whole.count > 0;
        for (int round = 0; round < 150; ++round) {
            std::string damaged = page;
            int edits = std::uniform_int_distribution<int>(1, 12)(random);
            for (int e = 0; e < edits && !damaged.empty(); ++e) {
                size_t at = std::uniform_int_distribution<size_t>(0, damaged.size() - 1)(random);
                size_t span = std::uniform_int_distribution<size_t>(1, 40)(random);
                switch (random() % 4) {
                case 0: damaged[at] = alphabet[random() % alphabet.size()]; break;
                case 1: damaged.erase(at, span); break;
                case 2: damaged.insert(at, damaged.substr(random() % damaged.size(), span)); break;
                default: damaged.resize(at); break;
                }
            }
            ASSERT_EQ(scanned(damaged), literal(damaged)) << testing::PrintToString(damaged);
        }
    }
    EXPECT_GE(withItems, 5);
}

// Pages far too big for the plain scan: the results follow from how the page
// was made.
TEST(LinkScan, HugePages)
{
    struct Case
    {
        const char *name;
        std::string page;
        int count;
        int distinct;
    };
    std::string manyItems;
    for (int i = 0; i < 60000; ++i)
        manyItems += "<li><a href=\"http://www.ebay.com/itm/" + std::to_string(i % 20000) +
                     "\"><span class=\"g-b\">Item " + std::to_string(i) + "</span></a></li>\r\n";
    std::string noQuotesAfterMarker = "href=\"" + std::string(24 << 20, 'x') + "/itm/";
    std::string titleMarkersWithoutStop;
    for (int i = 0; i < 40000; ++i)
        titleMarkersWithoutStop += "<a href=\"/itm/" + std::to_string(i) + "\">g-b\">" + std::string(200, 't');
    const Case cases[] = {
        {"60 000 item links, 20 000 distinct", manyItems, 60000, 20000},
        {"24 MiB value without closing quote", noQuotesAfterMarker, 0, 0},
        {"40 000 title markers and no stop", titleMarkersWithoutStop, 40000, 40000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FoundItemList found = fixedList();
        text::LineText lines;
        core::SetPageLines(lines, c.page);
        EXPECT_EQ(core::ExtractLinks(lines, found), c.count);
        EXPECT_EQ(found.count(), c.distinct);
        EXPECT_EQ(found.FoundDescriptions().count(), c.distinct);
    }

    // The second scan over values that no tag encloses: each looks back
    // only as far as the one before it.
    std::string bareValues;
    for (int i = 0; i < 300000; ++i)
        bareValues += " href=/itm/" + std::to_string(1000000000 + i % 1000) + std::string(30, 'x');
    FoundItemList found = fixedList(core::LinkRules::Current);
    EXPECT_EQ(core::ScanItemLinks(
                  bareValues, [&](std::string_view link, std::string_view title) { found.AddFoundItem(link, title); },
                  core::LinkRules::Current),
              300000);
    EXPECT_EQ(found.count(), 1000);
}

TEST(LinkScan, CurrentRulesReadUnquotedValuesOnlyWhereTheQuotedScanFindsNothing)
{
    const std::string u1 = "https://www.ebay.com/itm/Nikon-F3/196123456781?_skw=x&hash=item1";
    const std::string u2 = "https://www.ebay.com/itm/204512345678?itmmeta=01K3";
    // The items' own addresses, which the current rules hand over.
    const std::string l1 = "https://www.ebay.com/itm/196123456781", l2 = "https://www.ebay.com/itm/204512345678";
    struct Case
    {
        const char *name;
        std::string page;
        Scan expected;
    };
    const Case cases[] = {
        {"unquoted and single-quoted values, titles from the link element",
         "<a href=" + u1 + " tabindex=-1><img src=x alt=\"Nikon F3 &amp; lens\"></a>\r\n<A class=t HREF = '" + u2 +
             "'><h3><span>Canon\r\n AE-1</span></h3></a>",
         {2, {{l1, "Nikon F3 & lens"}, {l2, "Canon AE-1"}}}},
        {"a value ends at a blank or at the end of the tag",
         "<a href=" + u1 + ">one</a><a href=" + u2 + "\tclass=x>two",
         {2, {{l1, "one"}, {l2, "two"}}}},
        {"a title marker after the link keeps the described title",
         "<a href=" + u1 + ">link text</a><span class=\"g-b\">Marked</span>",
         {1, {{l1, "Marked"}}}},
        {"uBid values the same way, with their references decoded",
         "<a href='&#xA;/c/3.aspx?src=srp&amp;pos=2&#xA;'>Lens</a><script>'/itm/'</script>",
         {1, {{"http://www.ubid.com/c/3.aspx?src=srp&pos=2", "Lens"}}}},
        {"not an href attribute, or not closed",
         "<a data-href=" + u1 + ">x</a><p>href=" + u1 + "</p><a href='" + u2,
         {}},
        {"one quoted item link: the described links alone",
         "<a href=" + u1 + ">x</a><a href=\"" + u2 + "\">Quoted</a>",
         {1, {{l2, "Quoted"}}}},
        {"a quoted link outside an <a> tag has no element text", "<link href=\"" + u2 + "\">text", {1, {{l2, ""}}}},
        {"no /itm/ left: no second scan", "<a href='&#xA;/c/3.aspx&#xA;'>Lens</a>", {}},
        {"quoted values that lead nowhere before the unquoted ones",
         "<link href=\"srp.css\"><a HREF=\"/sch/\">x</a><a href=" + u1 + ">Nikon</a>",
         {1, {{l1, "Nikon"}}}},
        {"marks count only inside the value",
         "<a href=https://www.ebay.com/it>m/196123456781</a><a href=/c/3.aspx&#xA>;</a> /itm/",
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scanned(c.page, core::LinkRules::Current), c.expected);
    }
}

namespace {

// A page, what the current rules hand over from it, and how many item links
// the described rules count on it.
struct RulesCase
{
    const char *name;
    std::string page;
    Scan current;
    int described;
};

void expectUnderBothRules(const std::vector<RulesCase> &cases)
{
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scanned(c.page, core::LinkRules::Current), c.current);
        EXPECT_EQ(scanned(c.page).count, c.described);
    }
}

} // namespace

TEST(LinkScan, UnderTheCurrentRulesAnEbayLinkWithoutItemNumberIsNoItem)
{
    const std::string item = "https://www.ebay.com/itm/Nikon-F3/196123456781?_skw=x";
    // Today's pages hide a "Shop on eBay" card that links to a placeholder.
    const std::string card = "<li class=s-item><a href=\"https://ebay.com/itm/123456\" tabindex=-1>"
                             "<span role=heading>Shop on eBay</span></a></li>\r\n";
    expectUnderBothRules({
        {"the card among unquoted item links",
         card + "<a href=" + item + ">Nikon F3</a>",
         {1, {{"https://www.ebay.com/itm/196123456781", "Nikon F3"}}},
         1},
        {"a relative placeholder, a title without number, a number too short or too long",
         "<a href=\"/itm/123456\">a</a><a href='https://m.EBAY.co.uk/itm/Some-Title?x=123456789'>b</a>"
         "<a href=\"http://www.ebay.com.au/itm/12345678\">c</a><a "
         "href=\"https://www.ebay.ca/itm/12345678901234\">d</a>",
         {},
         3},
        {"9 and 13 digits, blanks around",
         "<a href=\" https://www.ebay.com/itm/123456789 \">e</a>"
         "<a href=\"//ebay.com/itm/x/1234567890123\">f</a>",
         {2, {{"https://www.ebay.com/itm/123456789", "e"}, {"https://ebay.com/itm/1234567890123", "f"}}},
         2},
        {"another site's /itm/ link stays an item",
         "<a href=\"https://shop.example/itm/42\">g</a>",
         {1, {{"https://shop.example/itm/42", "g"}}},
         1},
    });
}

// A page with no exact matches still carries cards under "Results matching
// fewer words" (and blocks of looser results after them): none is an item.
TEST(LinkScan, UnderTheCurrentRulesTheLooserResultsHoldNoItems)
{
    const std::string exact = "<li class=s-item data-listingid=196123456781><a href=\"https://www.ebay.com/itm/"
                              "Nikon-F3/196123456781?_skw=x&amp;hash=1\">Nikon F3</a></li>\r\n";
    const std::string looser = "<li class=s-item data-listingid=295512345678><a href=\"https://www.ebay.com/itm/"
                               "295512345678?_skw=x\">Neck strap</a></li>\r\n";
    const std::string boundary = "<li class=\"srp-river-answer srp-river-answer--REWRITE_START\"><h3>Results "
                                 "matching fewer words</h3></li>\r\n";
    const Offer nikon{"https://www.ebay.com/itm/196123456781", "Nikon F3"};
    expectUnderBothRules({
        {"exact matches above the looser ones", exact + boundary + looser, {1, {nikon}}, 2},
        {"no exact matches",
         "<div class=srp-save-null-search><h3>No exact matches found</h3></div>" + boundary + looser +
             "<li class=srp-river-answer>More</li>" + looser,
         {},
         2},
        {"the class named in a script, a comment or text is no boundary",
         "<script>show('<li class=srp-river-answer>')</script><!-- <p class=srp-river-answer> --><p>srp-river-answer"
         "</p>" +
             exact,
         {1, {nikon}},
         1},
        {"another class of the same stem is none either",
         "<h3 class=srp-river-answer__heading>x</h3>" + exact,
         {1, {nikon}},
         1},
    });

    // The fixture site's page for a phrase without matches.
    const std::string saved = readFile(test::FixtureSite::pagesPath() + "/ebay.com/no-results.html");
    ASSERT_NE(saved.find("/itm/"), std::string::npos);
    EXPECT_EQ(scanned(saved, core::LinkRules::Current), Scan{});
}

namespace {

// A saved page of the fixture site as one fetch of it: its tracking token
// replaced the way the site does it.
std::string fetchOf(const std::string &site, const std::string &token)
{
    std::string page =
        readFile(test::FixtureSite::pagesPath() + "/" + QString::fromStdString(site) + "/film-camera.html");
    for (size_t at = page.find("{fetch}"); at != std::string::npos; at = page.find("{fetch}", at))
        page.replace(at, 7, token);
    return page;
}

} // namespace

TEST(LinkScan, TodaysPagesGiveEachItemOnceOverFetchesWithNewTrackingParameters)
{
    struct Case
    {
        const char *site;
        int items;
        int links;
        const char *firstLink, *firstTitle; // of the item listed first on the page
    };
    const Case cases[] = {
        {"ebay.com", 6, 8, "https://www.ebay.com/itm/196123456781",
         "Nikon F3 35mm SLR Film Camera Body & 50mm f/1.4 Lens"},
        {"ebay.co.uk", 4, 7, "https://www.ebay.co.uk/itm/387712345678",
         "Olympus Trip 35 Film Camera \u00a3-Serviced, New Seals"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.site);
        FoundItemList found = fixedList(core::LinkRules::Current);
        text::LineText lines;
        for (const char *token : {"01K3AAAA", "01K3BBBB"}) {
            core::SetPageLines(lines, fetchOf(c.site, token));
            EXPECT_EQ(core::ExtractLinks(lines, found), c.links);
            EXPECT_EQ(found.count(), c.items);
        }
        EXPECT_EQ(found.FoundItems()[c.items - 1], c.firstLink) << "without the fetch's tracking parameters";
        EXPECT_EQ(found.FoundDescriptions()[c.items - 1], std::string("07/12/2026 14:05:09  ") + c.firstTitle);
        for (int i = 0; i < found.count(); ++i)
            EXPECT_NE(found.FoundDescriptions()[i], "07/12/2026 14:05:09  ") << found.FoundItems()[i];

        // The described rules take the same pages as they stand.
        FoundItemList described = fixedList();
        core::SetPageLines(lines, fetchOf(c.site, "01K3CCCC"));
        EXPECT_EQ(core::ExtractLinks(lines, described), std::string(c.site) == "ebay.com" ? 0 : c.links);
    }
}

// Wherever the described scan takes a link before the looser results, the
// current rules take exactly the same links, as the found list shows them.
TEST(LinkScan, CurrentRulesTakeTheDescribedLinksFromEveryPageThatHasThem)
{
    int compared = 0;
    for (const auto &page : fixturePages()) {
        Scan described = scanned(std::string_view(page).substr(0, core::LooserResultsStart(page)));
        if (described.count == 0)
            continue;
        Scan current = scanned(page, core::LinkRules::Current);
        ASSERT_EQ(current.count, described.count);
        for (size_t i = 0; i < current.offers.size(); ++i)
            EXPECT_EQ(current.offers[i].link, core::ListedLink(described.offers[i].link));
        ++compared;
    }
    EXPECT_GE(compared, 6);
}

// The found list reads a title only for a link it takes. Whatever links it
// knows beforehand, it ends up as if every title had been read and offered.
TEST(LinkScan, ExtractLinksListsWhatOfferingEveryScannedLinkLists)
{
    std::vector<std::string> pages = fixturePages();
    // Titles behind markers and titles from the link text, each item's first link known.
    pages.push_back("<a href=\"" + item1 + "\">x</a><span class=\"g-b\">Nikon L24</span>\r\n<a href=\"" + item2 +
                    "\">y</a><span class=\"g-b\">Canon SX130</span>\r\n");
    pages.push_back("<p><a href=" + item1 + "/x>Nikon <b>L24</b></a><a class=t href=" + item2 +
                    ">Canon &amp; SX130</a><a href='" + item1 + "'>again</a>\r\n");
    int compared = 0;
    for (const auto &page : pages)
        for (auto rules : {core::LinkRules::Described, core::LinkRules::Current})
            for (size_t seedEvery : {1, 2, 3}) {
                text::LineText lines;
                core::SetPageLines(lines, page);
                Scan offered = scanned(lines.text(), rules);
                FoundItemList eager = fixedList(rules);
                for (size_t i = 0; i < offered.offers.size(); i += seedEvery)
                    if (seedEvery > 1)
                        eager.AddFoundItem(offered.offers[i].link, "known");
                FoundItemList lazy = eager;
                for (const auto &offer : offered.offers)
                    eager.AddFoundItem(offer.link, text::ansiToUtf8(offer.title));
                ASSERT_EQ(core::ExtractLinks(lines, lazy), offered.count);
                EXPECT_EQ(lazy.FoundItems(), eager.FoundItems());
                EXPECT_EQ(lazy.FoundDescriptions(), eager.FoundDescriptions());
                EXPECT_EQ(lazy.LatestFoundText(), eager.LatestFoundText());
                compared += offered.count > 0;
            }
    EXPECT_GT(compared, 12);
}
