#include <QString>
#include <algorithm>
#include <gtest/gtest.h>

#include "core/HintLayout.h"
#include "text/Utf8Text.h"

using namespace lotfinch::core;

namespace {

// The characters of UTF-8 text: its bytes but the continuation bytes.
int characters(std::string_view text)
{
    return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

bool validUtf8(const std::string &text)
{
    return QString::fromUtf8(text).toStdString() == text;
}

// Every character is as wide as the font's point size (one more when bold);
// a line is the point size plus 4 high. Only "IDX:1" names a picture.
class FixedFont : public HintMetrics
{
public:
    int textWidth(const HintFont &font, std::string_view text) override
    {
        return characters(text) * (font.points + (font.bold ? 1 : 0));
    }
    int textHeight(const HintFont &font) override { return font.points + 4; }
    std::optional<HintSize> pictureSize(std::string_view source) override
    {
        asked.emplace_back(source);
        if (source == "IDX:1")
            return HintSize{16, 16};
        return std::nullopt;
    }
    std::vector<std::string> asked;
};

const HintColor infoText = HintColor::system(sys::InfoText);

HintLayout lay(std::string_view markup, int boxWidth = 1000, int boxHeight = 1000, bool ellipsis = false,
               FixedFont *font = nullptr)
{
    FixedFont own;
    HintLayoutOptions options;
    options.boxWidth = boxWidth;
    options.boxHeight = boxHeight;
    options.ellipsis = ellipsis;
    return LayoutHint(markup, options, font ? *font : own);
}

std::vector<const HintItem *> texts(const HintLayout &layout)
{
    std::vector<const HintItem *> result;
    for (const HintItem &item : layout.items)
        if (item.kind == HintItemKind::Text)
            result.push_back(&item);
    return result;
}

// The drawn text, one entry per line (lines told apart by their bottom).
std::vector<std::string> lines(const HintLayout &layout)
{
    std::vector<std::string> result;
    int bottom = -1;
    for (const HintItem *item : texts(layout)) {
        if (item->y + item->height != bottom) {
            result.emplace_back();
            bottom = item->y + item->height;
        }
        result.back() += item->text;
    }
    return result;
}

std::string joined(const HintLayout &layout)
{
    std::string all;
    for (const std::string &line : lines(layout))
        all += line;
    return all;
}

TEST(HintLayout, PlainTextMakesABox16WiderAnd4TallerThanTheText)
{
    HintLayout layout = lay("Hello world");
    EXPECT_EQ(lines(layout), std::vector<std::string>{"Hello world"});
    EXPECT_EQ(layout.width, 11 * 8);
    EXPECT_EQ(layout.height, 12);
    for (const HintItem *item : texts(layout))
        EXPECT_EQ(item->font, HintFont{});
    EXPECT_EQ(HintWindowSize({layout.width, layout.height}, 0, 0), (HintSize{11 * 8 + 16, 12 + 4}));
    EXPECT_EQ(HintWindowSize({100, 20}, 3, 5), (HintSize{100 + 3 + 16, 20 + 10 + 4}));
}

TEST(HintLayout, FoundItemMarkupIsBoldDarkRedDescriptionEmptyLineAndPlainLink)
{
    std::string description = "12/07/2026 10:00:00  Nikon 50mm lens";
    std::string link = "http://www.ebay.com/itm/Nikon-lens/4711?pt=1";
    HintLayout layout = lay("<b><font color=\"#A00000\">" + description + "</font></b><br/><br/>" + link);

    ASSERT_EQ(lines(layout), (std::vector<std::string>{description, link}));
    for (const HintItem *item : texts(layout)) {
        bool inDescription = item->y == 0;
        EXPECT_EQ(item->font.bold, inDescription) << item->text;
        EXPECT_EQ(item->color, inDescription ? HintColor::rgb(160, 0, 0) : infoText) << item->text;
    }
    // The empty line between them is a full line of the base font.
    EXPECT_EQ(texts(layout).back()->y, 2 * 12);
    EXPECT_EQ(layout.height, 3 * 12);
}

TEST(HintLayout, AmpersandsAndEntities)
{
    struct Case
    {
        const char *markup;
        std::string drawn;
        std::string underlined;
    };
    const Case cases[] = {
        {"Tom &Jerry", "Tom Jerry", "J"},
        {"a&&b", "a&b", ""},
        {"a&amp;b", "a&b", ""},
        {"a&AmP;b", "a&b", ""},
        {"x&amp;amp;y", "x&y", "y"}, // replaced until none is left
        {"&quot;q&quot; &euro;5 &copy;&reg;&trade;", "\"q\" \u20AC5 \u00A9\u00AE\u2122", ""},
        {"&lt;b&gt;not bold", "<b>not bold", ""},
        {"a&nbsp;b", "a b", ""},
        {"tab\tstop", "tab     stop", ""},
        {"\u6771\u4EAC\tx", "\u6771\u4EAC      x", ""}, // tab stops count characters
        // A mnemonic takes the whole character, also one of several bytes.
        {"&\u6771\u4EAC", "\u6771\u4EAC", "\u6771"},
        {"\u03A9&\U0001F600!", "\u03A9\U0001F600!", "\U0001F600"},
        {"&\xE6\x9D&\xB1x", "\uFFFD\uFFFD\uFFFDx", "\uFFFD\uFFFD"}, // broken bytes, also across a "&"
        {"end&", "end", ""},
    };
    for (const Case &c : cases) {
        HintLayout layout = lay(c.markup);
        EXPECT_EQ(joined(layout), c.drawn) << c.markup;
        std::string underlined;
        for (const HintItem *item : texts(layout)) {
            EXPECT_FALSE(item->font.bold) << c.markup;
            for (int index : item->mnemonics)
                underlined += item->text.substr(index, lotfinch::text::utf8CharLength(item->text, index));
        }
        EXPECT_EQ(underlined, c.underlined) << c.markup;
    }
}

TEST(HintLayout, FontSizes)
{
    struct Case
    {
        const char *markup;
        int points;
    };
    const Case cases[] = {
        {"<font size=3>x", 12},  {"<font size=\"3\">x", 12},      {"<font SIZE=20>x", 20}, {"<font size=1>x", 8},
        {"<font size=5>x", 16},  {"<font size=1000000000>x", 72}, {"<font size=0>x", 4},   {"<font size=-7>x", 4},
        {"<font size=big>x", 8}, {"<font size=3></font>x", 8},    {"<sup>x", 5},
    };
    for (const Case &c : cases) {
        HintLayout layout = lay(c.markup);
        ASSERT_EQ(texts(layout).size(), 1u) << c.markup;
        EXPECT_EQ(texts(layout)[0]->font.points, c.points) << c.markup;
        EXPECT_EQ(texts(layout)[0]->height, c.points + 4) << c.markup;
    }
}

TEST(HintLayout, RunsOfDifferentSizesShareTheirLineBottom)
{
    HintLayout layout = lay("small<font size=20>BIG</font>small");
    auto items = texts(layout);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(layout.height, 24);
    for (const HintItem *item : items)
        EXPECT_EQ(item->y + item->height, 24) << item->text;
}

TEST(HintLayout, Colours)
{
    struct Case
    {
        const char *text;
        HintColor color;
    };
    const Case cases[] = {
        {"#A00000", HintColor::rgb(160, 0, 0)},      {"#a0b0c0", HintColor::rgb(0xA0, 0xB0, 0xC0)},
        {"ClRed", HintColor::rgb(255, 0, 0)},        {"clNavy", HintColor::rgb(0, 0, 128)},
        {"CLSILVER", HintColor::rgb(192, 192, 192)}, {"clBackground", HintColor::system(1)},
        {"clInfoBk", HintColor::system(24)},         {"cl3DDkShadow", HintColor::system(21)},
        {"clNoSuchColour", HintColor::rgb(0, 0, 0)}, {"#12345", HintColor::rgb(0, 0, 0)},
        {"#GG0000", HintColor::rgb(0, 0, 0)},        {"", HintColor::rgb(0, 0, 0)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ParseHintColor(c.text), c.color) << c.text;
}

TEST(HintLayout, FontColourAttributes)
{
    struct Case
    {
        const char *markup;
        HintColor color;
        HintColor background;
    };
    const Case cases[] = {
        {"<font color=\"ClRed\">x", HintColor::rgb(255, 0, 0), {}},
        {"<font color=#FF0000>x", infoText, {}}, // unquoted colours are ignored
        {"<font bgcolor=\"#00FF00\">x", infoText, HintColor::rgb(0, 255, 0)},
        {"<font face=\"Arial\" color=\"#0000ff\" bgcolor=\"clYellow\">x", HintColor::rgb(0, 0, 255),
         HintColor::rgb(255, 255, 0)},
        {"<font color=\"#FF0000\" bgcolor=\"clRed\"></font>x", infoText, {}},
        {"<a href=\"http://x\">x", HintColor::rgb(0, 0, 255), {}},
        {"<hi>x", HintColor::system(sys::HighlightText), HintColor::system(sys::Highlight)},
    };
    for (const Case &c : cases) {
        HintLayout layout = lay(c.markup);
        ASSERT_EQ(texts(layout).size(), 1u) << c.markup;
        EXPECT_EQ(texts(layout)[0]->color, c.color) << c.markup;
        EXPECT_EQ(texts(layout)[0]->background, c.background) << c.markup;
    }
    EXPECT_EQ(texts(lay("<font face=\"Arial\">x"))[0]->font.face, "Arial");
    EXPECT_EQ(texts(lay("<font face=\"Arial\">x</font>y"))[1]->font.face, "Tahoma");
}

TEST(HintLayout, WrappingAndEllipsis)
{
    struct Case
    {
        const char *markup;
        int boxWidth;
        bool ellipsis;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"aaa bbb ccc ddd", 80, false, {"aaa bbb ", "ccc ddd"}},
        {"aaa bbb ccc ddd", 1000, false, {"aaa bbb ccc ddd"}},
        // Text glued to the run before it stays on the line, cut at the edge.
        {"<b>aaaaaa</b>bbbbbb", 80, false, {"aaaaaa..."}},
        {"abcdefghijklmnop", 80, false, {"abcdefg..."}},
        {"xx abcdefghijklmnop", 80, false, {"xx ", "abcdefg..."}},
        {"aaa bbb ccc ddd<br>next", 80, true, {"aaa bbb...", "next"}},
        {"aaa\r\nbbb\nccc", 1000, false, {"aaa", "bbbccc"}},
    };
    for (const Case &c : cases) {
        HintLayout layout = lay(c.markup, c.boxWidth, 1000, c.ellipsis);
        EXPECT_EQ(lines(layout), c.lines) << c.markup;
        EXPECT_LE(layout.width, c.boxWidth) << c.markup;
    }
    // A trailing space does not count towards the width.
    EXPECT_EQ(lay("aaa bbb ccc ddd", 80).width, 7 * 8);
}

TEST(HintLayout, TextOfSeveralByteCharactersIsCutBetweenCharacters)
{
    struct Case
    {
        std::string markup;
        int boxWidth;
        bool ellipsis;
        std::vector<std::string> lines;
    };
    auto times = [](const std::string &text, int count) {
        std::string out;
        while (count-- > 0)
            out += text;
        return out;
    };
    const std::string omega = "\u03A9", tokyo = "\u6771\u4EAC", smile = "\U0001F600";
    // Ten characters fit in 80 pixels, seven before "...".
    const Case cases[] = {
        {times(omega, 11), 80, false, {times(omega, 7) + "..."}},
        {times(tokyo, 6), 80, false, {times(tokyo, 3) + "\u6771..."}},
        {std::string("x").append(times(smile, 10)), 80, false, {std::string("x").append(times(smile, 6)) + "..."}},
        {times(omega, 3) + " " + tokyo + " " + times(smile, 3),
         64,
         false,
         {times(omega, 3) + " " + tokyo + " ", times(smile, 3)}},
        {times(tokyo + " ", 3) + tokyo + "<br>" + omega, 80, true, {tokyo + " " + tokyo + " \u6771...", omega}},
    };
    for (const Case &c : cases) {
        HintLayout layout = lay(c.markup, c.boxWidth, 1000, c.ellipsis);
        EXPECT_EQ(lines(layout), c.lines) << c.markup;
        for (const HintItem *item : texts(layout))
            EXPECT_TRUE(validUtf8(item->text)) << c.markup;
    }
}

TEST(HintLayout, MalformedMarkup)
{
    struct Case
    {
        const char *markup;
        std::string drawn;
    };
    const Case cases[] = {
        {"a<blink>b</blink>c", "abc"},
        {"a<b", "a"},
        {"abc < def", "abc "},
        {"<>x<//>y", "xy"},
        {"<#hello>world", "helloworld"},
        {"x<#a>y<#b>z", "xayz"},
        {"<#never closed", ""},
        {"<z>hidden</z>shown", "shown"},
        {"<img src=\"FILE:///etc/passwd\" alt=\"[pic]\">", "[pic]"},
        {"<img src=\"http://example.com/x.png\">", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(joined(lay(c.markup)), c.drawn) << c.markup;
}

TEST(HintLayout, FurtherTags)
{
    auto first = [](const char *markup) { return *texts(lay(markup)).at(0); };
    EXPECT_TRUE(first("<i>x").font.italic);
    EXPECT_TRUE(first("<u>x").font.underline);
    EXPECT_TRUE(first("<s>x").font.strikeOut);
    EXPECT_FALSE(first("<i></i>x").font.italic);
    EXPECT_TRUE(first("<a href=\"x\">x").font.underline);
    EXPECT_TRUE(first("<shad>x").shadow);
    EXPECT_TRUE(first("<e>x").squiggle);
    EXPECT_GT(first("<sub>x").y, 0);

    HintLayout list = lay("<ul><li>one<li>two</ul>after");
    EXPECT_EQ(lines(list), (std::vector<std::string>{"\u2022one", "\u2022two", "after"}));
    EXPECT_EQ(texts(list)[0]->x, 0);
    EXPECT_EQ(texts(list)[1]->x, 12);
    EXPECT_EQ(texts(list).back()->x, 0);

    EXPECT_EQ(first("<ind x=\"40\">x").x, 40);
    EXPECT_TRUE(texts(lay("<ind x=\"99999\">x")).empty()); // past the right edge

    HintLayout right = lay("wide line here<p align=\"right\">r</p>");
    EXPECT_EQ(texts(right).back()->x, right.width - 8);
    HintLayout centred = lay("wide line here<p align=center>c</p>");
    EXPECT_EQ(texts(centred).back()->x, (centred.width - 8) / 2);

    HintLayout ruled = lay("above<hr>below");
    auto rule = std::find_if(ruled.items.begin(), ruled.items.end(),
                             [](const HintItem &item) { return item.kind == HintItemKind::Rule; });
    ASSERT_NE(rule, ruled.items.end());
    EXPECT_EQ(rule->width, ruled.width);
    EXPECT_EQ(lines(ruled), (std::vector<std::string>{"above", "below"}));

    HintLayout filled = lay("<p bgcolor=\"clRed\" bgcolorto=\"clBlue\">x</p>");
    ASSERT_EQ(filled.items.front().kind, HintItemKind::Fill);
    EXPECT_EQ(filled.items.front().color, HintColor::rgb(255, 0, 0));
    EXPECT_EQ(filled.items.front().background, HintColor::rgb(0, 0, 255));

    EXPECT_EQ(lay("<body bgcolor=\"#010203\">x").background, HintColor::rgb(1, 2, 3));
}

TEST(HintLayout, PicturesComeOnlyFromTheProgramAndAreBounded)
{
    FixedFont font;
    HintLayout layout = lay("<img src=\"IDX:1\"><img src=\"IDX:1\" width=99999 height=\"0\">"
                            "<img src=\"RES://x\" alt=\"alt\">",
                            1000, 1000, false, &font);
    ASSERT_EQ(layout.items.size(), 3u);
    EXPECT_EQ(layout.items[0].kind, HintItemKind::Picture);
    EXPECT_EQ((HintSize{layout.items[0].width, layout.items[0].height}), (HintSize{16, 16}));
    EXPECT_EQ((HintSize{layout.items[1].width, layout.items[1].height}), (HintSize{hintlimits::MaxPicture, 1}));
    EXPECT_EQ(layout.items[2].text, "alt");
    EXPECT_EQ(font.asked, (std::vector<std::string>{"IDX:1", "IDX:1", "RES://x"}));
}

TEST(HintLayout, LinesPastTheBoxBottomAreLeftOut)
{
    HintLayout layout = lay("1<br>2<br>3<br>4", 1000, 30);
    EXPECT_EQ(lines(layout), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(layout.height, 24);
    EXPECT_EQ(lay("").height, 12);
    EXPECT_EQ(lay("<br>").height, 12);
    EXPECT_EQ(lay("a<br>").height, 12);
    EXPECT_EQ(lay("<br><br>").height, 24);
}

TEST(HintLayout, HostileMarkupStaysWithinBounds)
{
    std::string nested;
    for (int i = 0; i < 20000; ++i)
        nested += "<font size=9999><ul><p indent=99999><b>w ";
    std::string glued;
    for (int i = 0; i < 20000; ++i)
        glued += "x<b>";
    for (const std::string &markup : {nested, glued}) {
        HintLayout layout = lay(markup, 400, 300);
        EXPECT_LE(layout.width, 400);
        EXPECT_LE(layout.height, 300);
        EXPECT_LE(layout.items.size(), hintlimits::MaxItems);
        for (const HintItem &item : layout.items) {
            EXPECT_LE(item.font.points, hintlimits::MaxPoints);
            EXPECT_LE(item.x + item.width, 400);
        }
    }
}

TEST(HintLayout, AHugeRunIsMeasuredOnlyAsFarAsTheBoxReaches)
{
    // Counts the bytes it is asked to measure; soft hyphens take no room.
    class CountingFont : public FixedFont
    {
    public:
        int textWidth(const HintFont &font, std::string_view text) override
        {
            measured += text.size();
            int hyphens = 0;
            for (size_t at = text.find("\u00AD"); at != std::string_view::npos; at = text.find("\u00AD", at + 1))
                ++hyphens;
            return (characters(text) - hyphens) * font.points;
        }
        size_t measured = 0;
    };
    std::string softHyphens, noSpaces(1 << 20, 'x');
    for (int i = 0; i < 1 << 19; ++i)
        softHyphens += "&\u00AD";
    for (const std::string &markup : {softHyphens, noSpaces, "a" + softHyphens + "visible"}) {
        CountingFont font;
        HintLayout layout = lay(markup, 400, 300, false, &font);
        EXPECT_LT(font.measured, 100'000u) << markup.substr(0, 8);
        ASSERT_EQ(texts(layout).size(), 1u);
        EXPECT_LE(texts(layout)[0]->mnemonics.size(), 401u);
        EXPECT_TRUE(texts(layout)[0]->text.ends_with("...")) << "a run cut short says so";
        EXPECT_TRUE(validUtf8(texts(layout)[0]->text)) << "cut between characters";
    }
}

TEST(HintLayout, EntitiesAreReplacedRepeatedlyWithoutRegardToCase)
{
    EXPECT_EQ(ReplaceHintEntities("&AMP;&Quot;&sect;&permil;&para;"), "&&\"\u00A7\u2030\u00B6");
    EXPECT_EQ(ReplaceHintEntities("&amp;amp;"), "&&&");
    EXPECT_EQ(ReplaceHintEntities("&amp;quot;"), "&\"");
    EXPECT_EQ(ReplaceHintEntities("&nbsp;&lt;&unknown;"), "&nbsp;&lt;&unknown;");
}

} // namespace
