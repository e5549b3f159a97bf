#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "gui/ProgressPopup.h"
#include "support/TestUtil.h"

using lotfinch::gui::ProgressPopup;

namespace {

// Counts how often a widget is hidden.
struct HideCounter : QObject
{
    int hides = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        hides += event->type() == QEvent::Hide ? 1 : 0;
        return false;
    }
};

} // namespace

TEST(ProgressPopup, StartsAsABorderlessStripWithItsDefaultText)
{
    QWidget owner;
    ProgressPopup popup(&owner);
    EXPECT_EQ(popup.size(), QSize(374, 66));
    EXPECT_TRUE(popup.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(popup.panel->text(), "Retrieving Source...");
    EXPECT_EQ(popup.panel->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(popup.isVisible());
}

TEST(ProgressPopup, ShowStatusSizesAndCentresThePopupInPlace)
{
    struct Case
    {
        std::string text;
        bool hideAfter;
        int width;
    };
    const Case cases[] = {
        {std::string(50, 'x'), false, 300},
        {"Searching eBay USA for \"lamp\"", false, 174}, // shown already: changed in place
        {"Caf\u00e9 \u6771\u4eac", false, 42},           // six pixels a character, not a byte
        {"", false, 0},
        {std::string(400, 'w'), true, 2400}, // wider than the screen
    };
    QWidget owner;
    owner.setGeometry(100, 150, 324, 186);
    ProgressPopup popup(&owner);
    HideCounter counter;
    popup.installEventFilter(&counter);
    int screenWidth = popup.screen()->geometry().width();
    int top = -1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 30));
        popup.ShowStatus(5, c.text, c.hideAfter);
        EXPECT_EQ(popup.width(), c.width);
        EXPECT_EQ(popup.x(), (screenWidth - c.width) / 2);
        EXPECT_EQ(popup.panel->text().toStdString(), c.text);
        EXPECT_EQ(popup.isVisible(), !c.hideAfter);
        // The vertical place comes from the owner and stays.
        if (top < 0)
            top = popup.y();
        EXPECT_EQ(popup.y(), top);
    }
    EXPECT_EQ(top, owner.geometry().center().y() - 33);
    EXPECT_EQ(counter.hides, 1); // only hideAfter hid it
}

TEST(ProgressPopup, IsAFixedTitledWindowThatBelongsToItsOwnerWhileTheUserWorksThere)
{
    QWidget owner;
    ProgressPopup popup(&owner);
    EXPECT_EQ(popup.windowTitle(), "Retrieving Source...");
    for (bool ownerShown : {true, false, true}) {
        owner.setVisible(ownerShown);
        owner.activateWindow();
        ASSERT_TRUE(lotfinch::test::waitUntil([&] { return owner.isActiveWindow() == ownerShown; }));
        popup.ShowStatus(1, "Crawling ebay.com for \"lamp\"", true);
        EXPECT_EQ(popup.minimumSize(), popup.maximumSize());
        EXPECT_EQ(popup.windowTitle(), "Crawling ebay.com for \"lamp\"");
        EXPECT_EQ(popup.windowHandle()->transientParent(), ownerShown ? owner.windowHandle() : nullptr);
    }
}

TEST(ProgressPopup, ItsWaitAnswersTheWindowSystemButRunsNoTimers)
{
    QWidget owner;
    ProgressPopup popup(&owner);
    bool ticked = false, answered = false;
    QTimer::singleShot(1, [&] { ticked = true; });
    // Stands for the desktop's ping.
    QMetaObject::invokeMethod(
        &popup, [&] { answered = popup.isVisible(); }, Qt::QueuedConnection);
    popup.ShowStatus(100, "Crawling ebay.com for \"lamp\"", true);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(ticked);
}
