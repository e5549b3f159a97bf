#include <gtest/gtest.h>

#include "text/AnsiText.h"
#include "text/StringList.h"
#include "text/Utf8Text.h"

using namespace lotfinch::text;

TEST(AnsiText, RoundTripsEveryByte)
{
    std::string all;
    for (int i = 1; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(toAnsi(fromAnsi(all)), all);
    EXPECT_EQ(ansiToUtf8(all), fromAnsi(all).toUtf8().toStdString());
}

TEST(AnsiText, MapsTheUpperHalfByTheCodePage)
{
    struct Case
    {
        std::string ansi;
        char16_t unicode;
    } cases[] = {
        {"\x80", u'\u20AC'}, {"\x99", u'\u2122'}, {"\xE9", u'\u00E9'},
        {"\x8A", u'\u0160'}, {"\x81", u'\u0081'}, // undefined in the code page: kept as the C1 control
    };
    for (const auto &c : cases) {
        EXPECT_EQ(fromAnsi(c.ansi), QString(QChar(c.unicode))) << int(static_cast<unsigned char>(c.ansi[0]));
        EXPECT_EQ(toAnsi(QString(QChar(c.unicode))), c.ansi);
    }
}

TEST(AnsiText, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(toAnsi(QString::fromUtf8("a\u4e2db")), "a?b");
    EXPECT_EQ(toAnsi(QString::fromUtf8("x\U0001F600y")), "x?y"); // one mark for a surrogate pair
}

TEST(AnsiText, CompareIgnoresCaseOfAccentedLetters)
{
    EXPECT_TRUE(sameTextAnsi("HTTP://EBAY.COM/ITM/1", "http://ebay.com/itm/1"));
    EXPECT_TRUE(sameTextAnsi("\xC9t\xC9", "\xE9t\xE9"));
    EXPECT_TRUE(sameTextAnsi("\x8A", "\x9A"));
    EXPECT_FALSE(sameTextAnsi("a", "b"));
    EXPECT_FALSE(sameTextAnsi("ab", "a"));
}

TEST(Utf8Text, TakesWellFormedSequencesWholeAndAnyOtherByteAlone)
{
    // After the well-formed ones: overlong forms, a surrogate, past U+10FFFF,
    // cut short, broken off, a lone continuation byte.
    const std::pair<std::string, size_t> cases[] = {
        {"a", 1},        {"\u03A9", 2},       {"\u6771", 3},       {"\U0001F600", 4},
        {"\xC0\xAF", 1}, {"\xE0\x80\xAF", 1}, {"\xED\xA0\x80", 1}, {"\xF4\x90\x80\x80", 1},
        {"\xE6\x9D", 1}, {"\xE6\x9Dx", 1},    {"\x80", 1},
    };
    for (const auto &[text, length] : cases)
        EXPECT_EQ(utf8CharLength(text, 0), length) << QByteArray::fromStdString(text).toHex().toStdString();
    EXPECT_EQ(utf8CharLength("ab", 2), 0u);
    EXPECT_EQ(utf8FirstCharacters("a\u03A9\u6771\U0001F600", 3), "a\u03A9\u6771");
    EXPECT_EQ(utf8FirstCharacters("\xE6\x9D\u6771", 2), "\xE6\x9D");
    EXPECT_EQ(utf8Prefix("a\U0001F600b", 4), "a");
    EXPECT_EQ(utf8Prefix("a\U0001F600b", 5), "a\U0001F600");
    EXPECT_EQ(utf8Prefix("\x80\x80\x80\x80", 2), "\x80\x80");
}

TEST(StringList, SplitsLinesAtEveryKindOfLineEnd)
{
    struct Case
    {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\r\n", {"one"}},
        {"one\r\ntwo\nthree\rfour", {"one", "two", "three", "four"}},
        {"\n\n", {"", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},
    };
    for (const auto &c : cases) {
        StringList list;
        list.setText(c.text);
        EXPECT_EQ(std::vector<std::string>(list.lines().begin(), list.lines().end()), c.lines) << c.text;
    }
}

TEST(StringList, ExportEndsEveryLineWithCrLf)
{
    StringList list{"a", "", "b"};
    EXPECT_EQ(list.text(), "a\r\n\r\nb\r\n");
    StringList back;
    back.setText(list.text());
    EXPECT_EQ(back, list);
}

TEST(StringList, InsertsAtPositionsAndFindsWithoutRegardToCase)
{
    StringList list;
    list.insert(0, "b");
    list.insert(0, "a");
    list.insert(2, "c");
    EXPECT_EQ(list.text(), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(list.indexOf("B"), 1);
    EXPECT_EQ(list.indexOf("d"), -1);
    EXPECT_THROW(list.insert(5, "x"), std::out_of_range);
    EXPECT_THROW(list.remove(3), std::out_of_range);
    list.remove(0);
    EXPECT_EQ(list[0], "b");
}
