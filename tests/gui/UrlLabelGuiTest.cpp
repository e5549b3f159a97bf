#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "gui/UrlLabel.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"

using namespace lotfinch;
using gui::UrlLabel;
using gui::UrlType;

namespace {

class UrlLabelGui : public testing::Test
{
protected:
    void SetUp() override { platform::MessageBoxService::reset(); }
    void TearDown() override { platform::MessageBoxService::reset(); }
    UrlLabel label;
};

TEST_F(UrlLabelGui, StartsAsABlueUnderlinedLinkWithAHandCursor)
{
    EXPECT_EQ(label.FontColor(), QColor(Qt::blue));
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(label.DetectMouse());
    EXPECT_EQ(label.ActiveColor(), QColor(Qt::red));
    EXPECT_EQ(label.urlType(), UrlType::Auto);
    EXPECT_TRUE(label.MailBody().empty());
}

TEST_F(UrlLabelGui, TargetsPerType)
{
    struct Case
    {
        UrlType type;
        const char *url;
        const char *custom;
        const char *target;
    };
    const Case cases[] = {
        {UrlType::Auto, "http://www.ebay.com/itm/a@b/1", "", "http://www.ebay.com/itm/a@b/1"},
        {UrlType::Auto, "www.ebay.com", "", "http://www.ebay.com"},
        {UrlType::Auto, "me@example.com", "", "mailto:me@example.com?Subject=&Body=&Attach=\"\""},
        {UrlType::Auto, "http://x", "view-source:", "view-source:http://x"},
        {UrlType::Http, "http://x", "", "http://http://x"},
        {UrlType::Ftp, "ftp.example.com/pub", "", "ftp://ftp.example.com/pub"},
        {UrlType::Custom, "comp.lang", "news:", "news:comp.lang"},
    };
    for (const Case &c : cases) {
        label.SetUrlType(c.type);
        label.SetURL(c.url);
        label.SetCustomUrlType(c.custom);
        EXPECT_EQ(label.Target(), c.target) << c.url;
    }
}

TEST_F(UrlLabelGui, MailTargetCarriesSubjectBodyAndAttachmentUnencoded)
{
    label.SetURL("me@example.com");
    label.SetMailSubject("Hi there");
    text::StringList body{"one", "two"};
    label.SetMailBody(body);
    label.SetAttachment("C:\\a b.txt");
    EXPECT_EQ(body, (text::StringList{"one\n\r", "two\n\r"}));
    EXPECT_EQ(label.Target(),
              "mailto:me@example.com?Subject=Hi there&Body=one\n\r\r\ntwo\n\r\r\n&Attach=\"C:\\a b.txt\"");
}

TEST_F(UrlLabelGui, MailSettersRefuseOutsideAutoAndMail)
{
    label.SetUrlType(UrlType::Http);
    platform::MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    platform::MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    platform::MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    label.SetMailSubject("s");
    label.SetAttachment("a");
    text::StringList body{"b"};
    label.SetMailBody(body);

    auto &asked = platform::MessageBoxService::answeredQuestions();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].text, "Can only set Mail Subject\n\rin Auto or Mail Type.");
    EXPECT_EQ(asked[1].text, "Can only set Attachment\n\rin Auto or Mail Type.");
    EXPECT_EQ(asked[2].text, "Can only set Mail Body\n\rin Auto or Mail Type.");
    EXPECT_EQ(label.MailSubject(), "");
    EXPECT_EQ(label.Attachment(), "");
    EXPECT_TRUE(label.MailBody().empty());
    EXPECT_EQ(body, text::StringList{"b"});

    label.SetUrlType(UrlType::Mail);
    label.SetMailSubject("s");
    EXPECT_EQ(label.MailSubject(), "s");
    EXPECT_EQ(asked.size(), 3u);
}

TEST_F(UrlLabelGui, ClickOpensTheTargetAndKeepsAutoAlsoWhenTheOpenFails)
{
    platform::FakeShell shell;
    label.SetURL("www.ebay.com");
    label.Click();
    EXPECT_EQ(shell.opened, std::vector<std::string>{"http://www.ebay.com"});
    EXPECT_EQ(label.urlType(), UrlType::Auto);

    shell.succeed = false;
    try {
        label.Click();
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(), "Searching for alternate browser.");
    }
    EXPECT_EQ(label.urlType(), UrlType::Auto);
}

TEST_F(UrlLabelGui, AMouseClickOpensAndReachesTheErrorBoxOnFailure)
{
    platform::FakeShell shell;
    label.resize(100, 20);
    label.SetURL("www.ebay.com");
    auto click = [&] {
        QPointF at(5, 5);
        QMouseEvent press(QEvent::MouseButtonPress, at, label.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, label.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(&label, &press);
        QApplication::sendEvent(&label, &release);
    };
    click();
    EXPECT_EQ(shell.opened.size(), 1u);
    shell.succeed = false;
    platform::MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    click();
    ASSERT_EQ(platform::MessageBoxService::answeredQuestions().size(), 1u);
    EXPECT_EQ(platform::MessageBoxService::answeredQuestions()[0].text, "Searching for alternate browser.");
}

TEST_F(UrlLabelGui, HoverColoursAndEvents)
{
    struct Case
    {
        bool detect;
        QColor duringHover, afterHover;
    };
    const Case cases[] = {{true, Qt::red, Qt::blue}, {false, Qt::green, Qt::green}};
    for (const Case &c : cases) {
        label.SetDetectMouse(c.detect);
        label.SetFontColor(Qt::green);
        int entered = 0, left = 0;
        label.OnMouseEnter = [&](UrlLabel *sender) { entered += sender == &label; };
        label.OnMouseLeave = [&](UrlLabel *sender) { left += sender == &label; };
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&label, &enter);
        EXPECT_EQ(label.FontColor(), c.duringHover);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&label, &leave);
        EXPECT_EQ(label.FontColor(), c.afterHover);
        EXPECT_EQ(entered, 1);
        EXPECT_EQ(left, 1);
    }
}

} // namespace
