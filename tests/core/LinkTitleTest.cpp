#include <gtest/gtest.h>

#include "core/LinkTitle.h"

using lotfinch::core::LinkElementTitle;

TEST(LinkTitle, TheTextAReaderSeesAsTheLink)
{
    struct Case
    {
        const char *name;
        std::string content;
        std::string title;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"heading and span", "<h3 class=s-item__title><span role=heading>Nikon F3</span></h3>", "Nikon F3"},
        {"white space collapsed and trimmed", "\r\n  <span>Canon\tAE-1 \r\n  Program</span>  ", "Canon AE-1 Program"},
        {"references decoded once", "A &amp; B &amp;amp; &lt;i&gt; &quot;q&quot; &#39;s&#x27; &#163;5 &euro;",
         "A & B &amp; <i> \"q\" 's' \xA3"
         "5 \x80"},
        {"unknown and unfinished references stay as written", "&bogus; &amp &#xZZ; &#", "&bogus; &amp &#xZZ; &#"},
        {"characters the code page lacks", "&#x4E2D; &#0; &#x110000;", "? ? ?"},
        {"no-break spaces are blanks",
         "a&nbsp;&nbsp;b\xA0"
         "c",
         "a b c"},
        {"line breaks and blocks keep words apart, inline tags do not", "X-700<br>MPS<div>Body</div>Cam<b>e</b>ra",
         "X-700 MPS Body Camera"},
        {"only an image: its alt text", "<div><img src=x.jpg alt=\"Olympus &quot;OM-1&quot;  Black\"></div>",
         "Olympus \"OM-1\" Black"},
        {"alt in single quotes and unquoted", "<IMG alt='Zenit E'/>", "Zenit E"},
        {"unquoted alt", "<img src=a alt=Leica>", "Leica"},
        {"alt text is plain text", "<img alt=\"5<6&amp;7  caf\xE9\">", "5<6&7 caf\xE9"},
        {"text wins over the image", "<img alt=\"Picture\"> Real title", "Real title"},
        {"an image without alt", "<img src=a.jpg>", ""},
        {"unclosed tag", "Title <span", "Title"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LinkElementTitle(c.content), c.title);
    }
}

TEST(LinkTitle, CutAt200Characters)
{
    std::string word = "abcdefghi ";
    std::string content;
    for (int i = 0; i < 100; ++i)
        content += "<span>" + word + "</span>";
    std::string title = LinkElementTitle(content);
    EXPECT_EQ(title.size(), 200u);
    EXPECT_EQ(title.substr(0, 20), "abcdefghi abcdefghi ");
    // A megabyte of markup without text costs one pass and gives nothing.
    EXPECT_EQ(LinkElementTitle(std::string(1 << 20, '<')), "");
    EXPECT_EQ(LinkElementTitle("<img alt=\"" + std::string(500, 'x') + "\">").size(), 200u);
}
