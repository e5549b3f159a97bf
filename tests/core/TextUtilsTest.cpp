#include <QCoreApplication>
#include <gtest/gtest.h>

#include "core/TextUtils.h"

using namespace lotfinch::core;

TEST(TextUtils, TextBetween)
{
    struct Case
    {
        std::string s, start, stop, expected;
    } cases[] = {
        {"a href=\"x\" b", "href=\"", "\"", "x"},
        {"<b>one</b><b>two</b>", "<b>", "</b>", "one"},
        {"start no stop", "start", "!", ""},
        {"", "a", "b", ""},
        // Without the start marker the text considered begins at position length(Start).
        {"abcdef", "X", "d", "abc"},
        {"abcdef", "XYZ", "e", "cd"},
        {"abcdef", "XYZXYZXYZ", "e", ""},
        {"/itm/12345?hash", "/itm/", "?", "12345"},
        {"x", "", "x", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TextBetween(c.s, c.start, c.stop), c.expected) << c.s << " | " << c.start << " | " << c.stop;
}

TEST(TextUtils, TakeTextBetweenDropsThroughStartAndTheStopLength)
{
    struct Case
    {
        std::string s, start, stop, expected, rest;
    } cases[] = {
        {"x href=\"link\" y", "href=\"", "\"", "link", "ink\" y"},
        {"href=\"\" z", "href=\"", "\"", "", " z"},
        {"no marker", "href=\"", "\"", "", "ker"},
        {"ab", "href=\"", "\"", "", ""},
    };
    for (auto c : cases) {
        EXPECT_EQ(TakeTextBetween(c.s, c.start, c.stop), c.expected);
        EXPECT_EQ(c.s, c.rest);
    }
}

TEST(TextUtils, TrimAndReplace)
{
    EXPECT_EQ(TrimText(" \t\r\n a b \x01\x20"), "a b");
    EXPECT_EQ(TrimText("   "), "");
    EXPECT_EQ(TrimLeftText("  a "), "a ");
    EXPECT_EQ(TrimText("\xA0x\xA0"), "\xA0x\xA0"); // only codes up to 32 are blanks

    EXPECT_EQ(ReplaceAllText("a\"site\"b\"site\"", "\"site\"", "X"), "aXbX");
    EXPECT_EQ(ReplaceAllText("\"search\"", "\"search\"", "say \"search\""), "say \"search\"");
    EXPECT_EQ(ReplaceAllText("abc", "SITE", "x"), "abc");
    EXPECT_EQ(ReplaceAllText("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
}

TEST(TextUtils, FormatText)
{
    EXPECT_EQ(FormatText("%s Links Matching: ", {"ebay.com (US)"}), "ebay.com (US) Links Matching: ");
    EXPECT_EQ(FormatText("Crawling %s for \"%s\"", {"a", "50% off"}), "Crawling a for \"50% off\"");
    EXPECT_EQ(FormatText("100%% %s", {"x"}), "100% x");
    EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and ");
}

TEST(TextUtils, ProgramFolderFileDropsTheFolderPartOfTheName)
{
    QString folder = QCoreApplication::applicationDirPath();
    EXPECT_EQ(ProgramFolderFile("searches.txt"), folder + "/searches.txt");
    EXPECT_EQ(ProgramFolderFile("/etc/elsewhere/manual.pdf"), folder + "/manual.pdf");
    EXPECT_EQ(ProgramFolderFile("../up/searches.txt"), folder + "/searches.txt");
}
