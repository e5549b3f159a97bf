#include <QApplication>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>
#include <memory>

#include "gui/HtmlHint.h"
#include "gui/HtmlHintPainter.h"
#include "gui/UrlLabel.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using namespace lotfinch::core;
using namespace lotfinch::gui;

namespace {

class HtmlHintTest : public testing::Test
{
protected:
    HtmlHintTest()
    {
        form.setGeometry(50, 50, 300, 200);
        button = new QPushButton("Start", &form);
        button->setGeometry(10, 10, 100, 30);
        plain = new QWidget(&form);
        plain->setGeometry(10, 50, 100, 30);
        form.show();
    }

    // What the application does when the pointer rests over widget.
    bool rest(QWidget *widget, QPoint local = {5, 5})
    {
        QHelpEvent event(QEvent::ToolTip, local, widget->mapToGlobal(local));
        QApplication::sendEvent(widget, &event);
        return hint.HintWindow() && hint.HintWindow()->isVisible();
    }

    QWidget form;
    QPushButton *button;
    QWidget *plain;
    HtmlHint hint{&form};
};

TEST_F(HtmlHintTest, ConstructionChecksItsOwner)
{
    struct Case
    {
        QObject *owner;
        const char *message;
    };
    QObject notAWidget;
    const Case cases[] = {
        {nullptr, "Control parent must be a form!"},
        {&notAWidget, "Control parent must be a form!"},
        {button, "Control parent must be a form!"},
        {&form, "Only one instance of THTMLHint allowed on form"},
    };
    for (const Case &c : cases) {
        try {
            HtmlHint second(c.owner);
            ADD_FAILURE() << "constructed";
        } catch (const HtmlHintError &error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
    EXPECT_EQ(form.findChildren<HtmlHint *>().size(), 1);
    button->setToolTip("still works");
    EXPECT_TRUE(rest(button));
}

TEST_F(HtmlHintTest, ShowsTheControlsHintInABoxAroundItsText)
{
    button->setToolTip("Start searching for \"<b>camera</b>\"...");
    ASSERT_TRUE(rest(button));
    HtmlHintWindow *window = hint.HintWindow();
    EXPECT_EQ(window->Caption(), "Start searching for \"<b>camera</b>\"...");
    EXPECT_EQ(window->size(), QSize(window->TextWidth() + 16, window->TextHeight() + 4));
    EXPECT_GT(window->TextWidth(), 0);
    EXPECT_EQ(window->pos(), button->mapToGlobal(QPoint(5, 5)) + QPoint(2, 16));
    EXPECT_EQ(hint.LastHintInfo().HintControl, button);
    EXPECT_TRUE(window->windowFlags() & Qt::ToolTip);
    EXPECT_TRUE(window->mask().isEmpty());

    // Some keys and clicks put it away.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(button, &key);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(HtmlHintTest, AChildWithoutHintShowsItsWindowsHintOrNone)
{
    EXPECT_FALSE(rest(plain));
    form.setToolTip("the window's hint");
    ASSERT_TRUE(rest(plain));
    EXPECT_EQ(hint.HintWindow()->Caption(), "the window's hint");
    EXPECT_EQ(hint.LastHintInfo().HintControl, &form);
    form.setToolTip(QString());
    EXPECT_FALSE(rest(plain));
}

TEST_F(HtmlHintTest, ShowHintNotificationAppliesColourAndWidthAndMayStopTheHint)
{
    button->setToolTip("word word word word word word word word word word");
    hint.SetHintColor(HintColor::rgb(1, 2, 3));
    hint.SetMaxWidth(120);
    bool allow = true;
    int calls = 0;
    hint.OnShowHint = [&](HtmlHint *sender, std::string &text, bool &canShow, HintInfo &info) {
        ++calls;
        EXPECT_EQ(sender, &hint);
        EXPECT_EQ(info.HintColor, HintColor::rgb(1, 2, 3));
        EXPECT_EQ(info.HintMaxWidth, 120);
        text += " more";
        canShow = allow;
    };
    ASSERT_TRUE(rest(button));
    EXPECT_EQ(hint.HintWindow()->Caption(), "word word word word word word word word word word more");
    EXPECT_LE(hint.HintWindow()->width(), 120);
    EXPECT_GT(hint.HintWindow()->TextHeight(), hint.HintWindow()->Layout().items.front().height);
    allow = false;
    EXPECT_FALSE(rest(button));
    EXPECT_EQ(calls, 2);
}

TEST_F(HtmlHintTest, HintNearTheScreenEdgeEndsInsideIt)
{
    button->setToolTip("a hint with some width to it");
    hint.SetHintStyle(HintStyle::Rounded);
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    QPoint corner = button->mapFromGlobal(screen.bottomRight() - QPoint(3, 3));
    ASSERT_TRUE(rest(button, corner));
    QRect placed = hint.HintWindow()->geometry();
    EXPECT_EQ(placed.right(), screen.right() - 2);
    EXPECT_EQ(placed.bottom(), screen.bottom() - 2);
    EXPECT_FALSE(hint.HintWindow()->mask().isEmpty());
}

TEST_F(HtmlHintTest, ANewHintTextShowsOnTheNextPointerMove)
{
    form.setToolTip("first");
    ASSERT_TRUE(rest(plain));
    form.setToolTip("second");
    QPointF at(6, 6);
    QMouseEvent move(QEvent::MouseMove, at, plain->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plain, &move);
    EXPECT_TRUE(test::waitUntil([&] { return hint.HintWindow()->Caption() == "second"; }));

    // Moving off the control puts the hint away.
    QPointF away(-40, -40);
    QMouseEvent leave(QEvent::MouseMove, away, form.mapToGlobal(away), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &leave);
    EXPECT_FALSE(hint.HintWindow()->isVisible());
}

TEST_F(HtmlHintTest, DrawsTheMarkup)
{
    button->setToolTip("<font size=5 color=\"#A00000\"><b>MMMM WWWW</b></font>");
    ASSERT_TRUE(rest(button));
    QImage shot = hint.HintWindow()->grab().toImage();
    int reddish = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            QColor c = shot.pixelColor(x, y);
            reddish += c.red() > 100 && c.green() < 60 && c.blue() < 60;
        }
    EXPECT_GT(reddish, 10);
}

TEST_F(HtmlHintTest, TextBeyondWindows1252IsLaidOutAndPaintedWhole)
{
    // "東&京 €": the same hint with and without 京 underlined.
    auto show = [&](const char *hintText) {
        button->setToolTip(QString::fromUtf8(hintText));
        EXPECT_TRUE(rest(button));
        EXPECT_EQ(hint.HintWindow()->Caption(), hintText);
        std::string drawn;
        for (const HintItem &item : hint.HintWindow()->Layout().items)
            drawn += item.text;
        EXPECT_EQ(drawn, "\u6771\u4EAC \u20AC");
        return hint.HintWindow()->grab().toImage();
    };
    const QImage plain = show("\u6771\u4EAC \u20AC");
    const QImage underlined = show("\u6771&\u4EAC \u20AC");
    ASSERT_EQ(plain.size(), underlined.size());

    // The underline lies under 京 alone (the text starts 4 pixels in).
    QFontMetrics metrics(ToQFont(hint.HintWindow()->Layout().items.at(0).font));
    const int left = 4 + metrics.horizontalAdvance(QString::fromUtf8("\u6771"));
    const int right = left + metrics.horizontalAdvance(QString::fromUtf8("\u4EAC"));
    int first = plain.width(), last = -1;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (plain.pixel(x, y) != underlined.pixel(x, y)) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    EXPECT_EQ(first, left);
    EXPECT_EQ(last, right - 1);
}

TEST(HintPictures, OnlyTheProgramsOwnPictures)
{
    desktop::ImageList images;
    QPixmap square(20, 10);
    square.fill(Qt::red);
    images.add(QIcon(square));
    PictureContainer pictures;
    QImage logo(7, 9, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    pictures.Add("Logo", logo);
    QtHintMetrics metrics(HintPictures{&images, &pictures});

    struct Case
    {
        const char *source;
        std::optional<HintSize> size;
    };
    const Case cases[] = {
        {"IDX:0", HintSize{20, 10}},      {"idx:0", HintSize{20, 10}},
        {"IDX:1", std::nullopt},          {"IDX:x", std::nullopt},
        {"logo", HintSize{7, 9}},         {"FILE:///etc/hostname", std::nullopt},
        {"RES://MAINICON", std::nullopt}, {"http://127.0.0.1/x.png", std::nullopt},
        {"SSYS:1", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(metrics.pictureSize(c.source), c.size) << c.source;
}

TEST_F(HtmlHintTest, ForgetsImagesAndPicturesThatGoAway)
{
    auto *images = new desktop::ImageList;
    auto *pictures = new PictureContainer;
    hint.SetImages(images);
    hint.SetPictureContainer(pictures);
    delete images;
    delete pictures;
    EXPECT_EQ(hint.Images(), nullptr);
    EXPECT_EQ(hint.pictureContainer(), nullptr);
    button->setToolTip("<img src=\"IDX:0\" alt=\"gone\">");
    ASSERT_TRUE(rest(button));
    EXPECT_EQ(hint.HintWindow()->Layout().items.at(0).text, "gone");
}

// Set when the state a handler carries is destroyed.
bool handlerStateGone = false;
struct HandlerState
{
    ~HandlerState() { handlerStateGone = true; }
};

TEST(Handlers, MayFreeTheirSenderWhileTheyRun)
{
    // Each handler frees its sender, then looks at its own state: it must
    // still exist until the handler returns.
    auto freeing = [](auto *sender, bool &stateSurvived) {
        handlerStateGone = false;
        delete sender;
        stateSurvived = !handlerStateGone;
    };
    QWidget form;
    auto *button = new QPushButton("Start", &form);
    button->setToolTip("hint");
    form.show();
    for (QEvent::Type type : {QEvent::Enter, QEvent::Leave}) {
        bool stateSurvived = false;
        auto *label = new UrlLabel(&form);
        (type == QEvent::Enter ? label->OnMouseEnter : label->OnMouseLeave) =
            [state = std::make_shared<HandlerState>(), &freeing, &stateSurvived](UrlLabel *sender) {
                freeing(sender, stateSurvived);
            };
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, type == QEvent::Enter ? static_cast<QEvent *>(&enter) : &leave);
        EXPECT_TRUE(stateSurvived) << type;
    }

    bool stateSurvived = false;
    QPointer<HtmlHint> hint = new HtmlHint(&form);
    hint->OnShowHint = [state = std::make_shared<HandlerState>(), &freeing, &stateSurvived](
                           HtmlHint *sender, std::string &, bool &, HintInfo &) { freeing(sender, stateSurvived); };
    QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(button, &event);
    EXPECT_TRUE(hint.isNull());
    EXPECT_TRUE(stateSurvived);
}

} // namespace
