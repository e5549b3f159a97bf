#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <memory>
#include <vector>

#include "desktop/ImageList.h"
#include "desktop/SimpleTimer.h"
#include "desktop/TrayIcon.h"
#include "support/FakeTrayShell.h"
#include "support/TestUtil.h"

using namespace lotfinch::desktop;
using namespace lotfinch::platform;
using lotfinch::test::FakeTrayShell;
using lotfinch::test::runEventsFor;
using lotfinch::test::waitUntil;

namespace {

QIcon colourIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

class TrayIconTest : public testing::Test
{
protected:
    TrayIconTest()
    {
        for (Qt::GlobalColor colour : {Qt::red, Qt::green, Qt::blue})
            images.add(colourIcon(colour));
        defaultItem = menu.addAction("Open");
        menu.setDefaultAction(defaultItem);
        QObject::connect(defaultItem, &QAction::triggered, [this] { ++defaultClicks; });
    }

    // The icon as the main window sets it up: images, menu, double-click.
    std::unique_ptr<TrayIcon> makeIcon(bool visible = true)
    {
        auto icon = std::make_unique<TrayIcon>(nullptr);
        icon->setIconList(&images);
        icon->setPopupMenu(&menu);
        icon->setHint("Lotfinch");
        icon->OnClick = [this](QObject *) { ++clicks; };
        icon->OnDblClick = [this](QObject *) { ++doubleClicks; };
        icon->Loaded();
        icon->setIconVisible(visible);
        return icon;
    }

    const NotifyIconData &shown(const TrayIcon &icon)
    {
        const NotifyIconData *data = shell.icon(icon.iconId());
        EXPECT_NE(data, nullptr);
        static NotifyIconData none;
        return data ? *data : none;
    }

    FakeTrayShell shell;
    ImageList images;
    QMenu menu;
    QAction *defaultItem;
    int clicks = 0, doubleClicks = 0, defaultClicks = 0;
};

} // namespace

TEST_F(TrayIconTest, TooltipIsTheHintCutTo127Characters)
{
    struct Case
    {
        std::string hint;
        bool showHint;
        std::string tip;
    };
    const std::string long127(127, 'a');
    const Case cases[] = {
        {"Crawl \"site\"", true, "Crawl \"site\""},
        {long127, true, long127},
        {long127 + "b", true, long127},
        {std::string(300, 'c'), true, std::string(127, 'c')},
        {"caf\u00e9 \u6771\u4eac \U0001F600", true, "caf\u00e9 \u6771\u4eac \U0001F600"},
        {std::string(125, 'a') + "\u6771", true, std::string(125, 'a')}, // cut between characters
        {"", true, ""},
        {"hidden", false, ""},
    };
    auto icon = makeIcon();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hint.substr(0, 20));
        icon->setShowHint(c.showHint);
        icon->setHint(c.hint);
        EXPECT_EQ(fieldText(shown(*icon).szTip), c.tip);
        EXPECT_EQ(shown(*icon).szTip[127], '\0');
    }
}

TEST_F(TrayIconTest, BalloonsAreCutAndNeedTheIconInTheTray)
{
    struct Case
    {
        size_t titleLength, textLength;
        BalloonIconKind kind;
        unsigned char seconds;
        size_t actionLength;
    };
    auto icon = makeIcon();
    for (Case c : {Case{5, 20, BalloonIconKind::Info, 15, 15}, Case{63, 255, BalloonIconKind::Warning, 0, 0},
                   Case{64, 256, BalloonIconKind::Error, 255, 63}, Case{200, 1000, BalloonIconKind::None, 1, 64}}) {
        SCOPED_TRACE(testing::Message() << c.titleLength << "/" << c.textLength << "/" << c.actionLength);
        shell.calls.clear();
        EXPECT_TRUE(icon->ShowBalloon(std::string(c.titleLength, 'T'), std::string(c.textLength, 'x'), c.kind,
                                      c.seconds, std::string(c.actionLength, 'A')));
        // The old balloon is cleared first, then the new one goes out.
        ASSERT_EQ(shell.calls.size(), 2u);
        const NotifyIconData &clear = shell.calls[0].data;
        EXPECT_TRUE(clear.uFlags & NIF_INFO);
        EXPECT_EQ(fieldText(clear.szInfo), "");
        EXPECT_EQ(fieldText(clear.szInfoAction), "");
        const NotifyIconData &balloon = shell.calls[1].data;
        EXPECT_EQ(balloon.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO);
        EXPECT_EQ(fieldText(balloon.szInfoTitle).size(), std::min<size_t>(c.titleLength, 63));
        EXPECT_EQ(fieldText(balloon.szInfo).size(), std::min<size_t>(c.textLength, 255));
        EXPECT_EQ(fieldText(balloon.szInfoAction).size(), std::min<size_t>(c.actionLength, 63));
        EXPECT_EQ(balloon.uTimeout, c.seconds * 1000u);
        EXPECT_EQ(balloon.dwInfoFlags, static_cast<quint32>(c.kind));
        // Later changes do not show it again.
        EXPECT_EQ(icon->iconData().uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    }

    auto hidden = makeIcon(false);
    shell.calls.clear();
    EXPECT_FALSE(hidden->ShowBalloon("FOUND", "Matches for lamp.", BalloonIconKind::Info, 15));
    EXPECT_EQ(shell.icon(hidden->iconId()), nullptr);
    EXPECT_TRUE(shell.callsOf(NIM_ADD).empty());
}

TEST_F(TrayIconTest, IconIndexSelectsFromTheListWithAnUpperClamp)
{
    struct Case
    {
        int set, index;
        bool hasImage;
    };
    auto icon = makeIcon();
    for (Case c : {Case{1, 1, true}, Case{2, 2, true}, Case{3, 2, true}, Case{99, 2, true}, Case{-1, -1, false},
                   Case{0, 0, true}}) {
        SCOPED_TRACE(c.set);
        icon->setIconIndex(c.set);
        EXPECT_EQ(icon->IconIndex(), c.index);
        EXPECT_EQ(shown(*icon).hIcon.isNull(), !c.hasImage);
        if (c.hasImage) {
            EXPECT_EQ(shown(*icon).hIcon.cacheKey(), images.icon(c.index).cacheKey());
        }
    }

    // Without a list the index stays 0 and the image stays as it is.
    icon->setIconIndex(1);
    auto listGone = std::make_unique<ImageList>();
    listGone->add(colourIcon(Qt::yellow));
    icon->setIconList(listGone.get());
    qint64 kept = icon->Icon().cacheKey();
    listGone.reset();
    EXPECT_EQ(icon->IconList(), nullptr);
    EXPECT_EQ(icon->IconIndex(), 0);
    icon->setIconIndex(2);
    EXPECT_EQ(icon->IconIndex(), 0);
    EXPECT_EQ(shown(*icon).hIcon.cacheKey(), kept);
}

TEST_F(TrayIconTest, ClicksAreToldApartFromDoubleClicks)
{
    struct Case
    {
        const char *name;
        bool doubleClickHandler;
        bool leftPopup;
        bool autoPopup;
        std::vector<quint32> events;
        int clicks, doubleClicks, defaultClicks, popups;
    };
    const std::vector<quint32> single{WM_LBUTTONDOWN, WM_LBUTTONUP};
    const std::vector<quint32> twice{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    const Case cases[] = {
        {"single click, reported after the double-click time", true, false, true, single, 1, 0, 0, 0},
        {"double-click, with the menu's default item", true, false, true, twice, 0, 1, 1, 0},
        {"double-click, menu without AutoPopup", true, false, false, twice, 0, 1, 0, 0},
        {"double-click, menu on the left button", true, true, true, twice, 0, 1, 0, 1},
        {"single click without a double-click handler", false, false, true, single, 1, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clicks = doubleClicks = defaultClicks = 0;
        shell.popups.clear();
        menu.setProperty("AutoPopup", c.autoPopup);
        auto icon = makeIcon();
        if (!c.doubleClickHandler)
            icon->OnDblClick = nullptr;
        icon->setLeftPopup(c.leftPopup);

        for (quint32 event : c.events)
            shell.send(icon->iconId(), event);
        // Without a double-click handler the click is there at once; with
        // one, nothing until the double-click time has passed.
        EXPECT_EQ(clicks, c.doubleClickHandler ? 0 : c.clicks);
        EXPECT_EQ(icon->ClickTimer().Enabled(), c.doubleClickHandler);
        EXPECT_EQ(icon->ClickTimer().Interval(), c.doubleClickHandler ? shell.doubleClickMs : 1000);
        ASSERT_TRUE(waitUntil([&] { return !icon->ClickTimer().Enabled(); }));
        runEventsFor(2 * shell.doubleClickMs);
        EXPECT_EQ(clicks, c.clicks);
        EXPECT_EQ(doubleClicks, c.doubleClicks);
        EXPECT_EQ(defaultClicks, c.defaultClicks);
        EXPECT_EQ(shell.popups.size(), static_cast<size_t>(c.popups));
    }
}

TEST_F(TrayIconTest, MouseEventsCarryButtonKeysAndCursor)
{
    struct Case
    {
        quint32 event;
        bool down;
        Qt::MouseButton button;
        ShiftState buttonFlag;
        size_t popups;
    };
    shell.modifiers = Qt::ShiftModifier | Qt::ControlModifier;
    shell.cursor = QPoint(640, 470);
    auto icon = makeIcon();
    icon->OnDblClick = nullptr;
    std::vector<std::tuple<bool, Qt::MouseButton, ShiftState, int, int>> seen;
    icon->OnMouseDown = [&](QObject *, Qt::MouseButton b, ShiftState s, int x, int y) {
        seen.emplace_back(true, b, s, x, y);
    };
    icon->OnMouseUp = [&](QObject *, Qt::MouseButton b, ShiftState s, int x, int y) {
        seen.emplace_back(false, b, s, x, y);
    };
    for (Case c : {Case{WM_LBUTTONDOWN, true, Qt::LeftButton, ShiftFlag::Left, 0},
                   Case{WM_LBUTTONUP, false, Qt::LeftButton, ShiftFlag::Left, 0},
                   // The menu opens on pressing the right button, not on releasing it.
                   Case{WM_RBUTTONDOWN, true, Qt::RightButton, ShiftFlag::Right, 1},
                   Case{WM_RBUTTONUP, false, Qt::RightButton, ShiftFlag::Right, 1},
                   Case{WM_MBUTTONDOWN, true, Qt::MiddleButton, ShiftFlag::Middle, 1},
                   Case{WM_MBUTTONUP, false, Qt::MiddleButton, ShiftFlag::Middle, 1}}) {
        SCOPED_TRACE(c.event);
        seen.clear();
        shell.send(icon->iconId(), c.event);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0],
                  std::make_tuple(c.down, c.button, ShiftFlag::Shift | ShiftFlag::Ctrl | c.buttonFlag, 640, 470));
        EXPECT_EQ(shell.popups.size(), c.popups);
    }
    ASSERT_EQ(shell.popups.size(), 1u);
    EXPECT_EQ(shell.popups[0].menu, &menu);
    EXPECT_EQ(shell.popups[0].pos, QPoint(640, 470));
}

TEST_F(TrayIconTest, DisabledIconIgnoresTheMouseButNotBalloons)
{
    auto icon = makeIcon();
    icon->setEnabled(false);
    icon->setWantEnterExitEvents(true);
    std::vector<std::string> events;
    auto note = [&](const char *name) { return [&events, name](QObject *) { events.push_back(name); }; };
    icon->OnMouseDown = [&](QObject *, Qt::MouseButton, ShiftState, int, int) { events.push_back("down"); };
    icon->OnMouseUp = [&](QObject *, Qt::MouseButton, ShiftState, int, int) { events.push_back("up"); };
    icon->OnMouseMove = [&](QObject *, ShiftState, int, int) { events.push_back("move"); };
    icon->OnMouseEnter = note("enter");
    icon->OnBalloonHintShow = note("show");
    icon->OnBalloonHintHide = note("hide");
    icon->OnBalloonHintTimeout = note("timeout");
    icon->OnBalloonHintClick = note("click");
    icon->OnBalloonHintAction = note("action");
    for (quint32 event : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
                          WM_MBUTTONDOWN, WM_MBUTTONUP, NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT,
                          NIN_BALLOONUSERCLICK, NIN_BALLOONACTION, WM_RBUTTONDBLCLK, 0x0209u})
        shell.send(icon->iconId(), event);
    runEventsFor(3 * shell.doubleClickMs);
    EXPECT_EQ(events, (std::vector<std::string>{"show", "hide", "timeout", "click", "action"}));
    EXPECT_EQ(clicks + doubleClicks + defaultClicks, 0);
    EXPECT_TRUE(shell.popups.empty());
    EXPECT_FALSE(icon->ClickTimer().Enabled());
}

TEST_F(TrayIconTest, NotificationsForOtherIdsOrMessagesAreIgnored)
{
    auto icon = makeIcon();
    icon->OnDblClick = nullptr;
    const NotifyIconData &data = shown(*icon);
    data.hWnd->deliver(TrayCallbackMessage, icon->iconId() + 1000, WM_LBUTTONDOWN);
    data.hWnd->deliver(TrayCallbackMessage, icon->iconId() + 1000, WM_LBUTTONUP);
    data.hWnd->deliver(TrayCallbackMessage + 1, icon->iconId(), WM_LBUTTONDOWN);
    data.hWnd->deliver(TrayCallbackMessage + 1, icon->iconId(), WM_LBUTTONUP);
    EXPECT_EQ(clicks, 0);
    data.hWnd->deliver(TrayCallbackMessage, icon->iconId(), WM_LBUTTONDOWN);
    data.hWnd->deliver(TrayCallbackMessage, icon->iconId(), WM_LBUTTONUP);
    EXPECT_EQ(clicks, 1);
}

TEST_F(TrayIconTest, EnterAndExitFollowTheCursor)
{
    auto icon = makeIcon();
    int enters = 0, exits = 0;
    icon->OnMouseEnter = [&](QObject *) { ++enters; };
    icon->OnMouseExit = [&](QObject *) { ++exits; };
    EXPECT_FALSE(icon->ExitTimer().Enabled());
    icon->setWantEnterExitEvents(true);
    EXPECT_TRUE(icon->ExitTimer().Enabled());
    EXPECT_EQ(icon->ExitTimer().Interval(), 20);

    shell.send(icon->iconId(), WM_MOUSEMOVE);
    shell.send(icon->iconId(), WM_MOUSEMOVE);
    EXPECT_EQ(enters, 1);
    runEventsFor(80); // the cursor rests on the icon
    EXPECT_EQ(exits, 0);
    shell.cursor += QPoint(30, 0);
    ASSERT_TRUE(waitUntil([&] { return exits == 1; }));
    shell.send(icon->iconId(), WM_MOUSEMOVE);
    EXPECT_EQ(enters, 2);

    icon->setWantEnterExitEvents(false);
    EXPECT_FALSE(icon->ExitTimer().Enabled());
}

TEST_F(TrayIconTest, CyclingStepsThroughTheImages)
{
    auto icon = makeIcon();
    icon->setIconIndex(2);
    std::vector<int> nextIndexes, shownIndexes;
    icon->OnCycle = [&](QObject *sender, int next) {
        nextIndexes.push_back(next);
        shownIndexes.push_back(static_cast<TrayIcon *>(sender)->IconIndex());
    };
    icon->setCycleInterval(25);
    EXPECT_FALSE(icon->CycleTimer().Enabled()); // not cycling yet
    icon->setCycleIcons(true);
    EXPECT_EQ(icon->IconIndex(), 0);
    EXPECT_EQ(icon->CycleTimer().Interval(), 25);
    ASSERT_TRUE(waitUntil([&] { return nextIndexes.size() >= 4; }));
    icon->setCycleIcons(false);
    EXPECT_FALSE(icon->CycleTimer().Enabled());
    EXPECT_EQ(nextIndexes, (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(shownIndexes, (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(icon->IconIndex(), 1);
    EXPECT_EQ(shown(*icon).hIcon.cacheKey(), images.icon(1).cacheKey());

    // A new interval starts over at the first image; 0 stops the steps.
    icon->setCycleIcons(true);
    icon->setIconIndex(2);
    icon->setCycleInterval(30);
    EXPECT_EQ(icon->IconIndex(), 0);
    icon->setCycleInterval(0);
    EXPECT_FALSE(icon->CycleTimer().ticking());
}

TEST_F(TrayIconTest, RestartedTrayGetsTheIconBackOnlyIfItIsVisible)
{
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible);
        auto icon = makeIcon(visible);
        shell.calls.clear();
        shell.restart();
        EXPECT_EQ(shell.callsOf(NIM_ADD).size(), visible ? 1u : 0u);
        EXPECT_EQ(shell.icon(icon->iconId()) != nullptr, visible);
        EXPECT_EQ(icon->IconVisible(), visible);
    }
}

TEST_F(TrayIconTest, IconsShareOneHandlerAndLeaveTheTrayWhenFreed)
{
    ASSERT_EQ(SharedTrayHandler(), nullptr);
    auto first = makeIcon();
    auto second = makeIcon();
    EXPECT_NE(first->iconId(), second->iconId());
    ASSERT_NE(SharedTrayHandler(), nullptr);
    EXPECT_EQ(SharedTrayHandler()->UserCount, 2u);
    EXPECT_EQ(shown(*first).hWnd, shown(*second).hWnd);

    quint32 firstId = first->iconId();
    first.reset();
    EXPECT_EQ(shell.icon(firstId), nullptr);
    EXPECT_EQ(SharedTrayHandler()->UserCount, 1u);

    // An icon freed by its own click handler takes the handler with it.
    second->OnDblClick = nullptr;
    TrayIcon *raw = second.release();
    raw->OnClick = [](QObject *sender) { delete sender; };
    quint32 secondId = raw->iconId();
    shell.send(secondId, WM_LBUTTONDOWN);
    shell.send(secondId, WM_LBUTTONUP);
    EXPECT_EQ(shell.icon(secondId), nullptr);
    EXPECT_EQ(SharedTrayHandler(), nullptr);
    runEventsFor(20);
}

TEST_F(TrayIconTest, VisibilityAddsAndRemovesTheIcon)
{
    auto icon = makeIcon(false);
    EXPECT_EQ(shell.icon(icon->iconId()), nullptr);
    EXPECT_FALSE(icon->UpdateTrayIcon());
    icon->setIconVisible(true);
    EXPECT_TRUE(icon->IconVisible());
    EXPECT_NE(shell.icon(icon->iconId()), nullptr);
    EXPECT_EQ(shown(*icon).uCallbackMessage, TrayCallbackMessage);
    EXPECT_EQ(shown(*icon).uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_TRUE(icon->UpdateTrayIcon());
    icon->setIconVisible(false);
    EXPECT_FALSE(icon->IconVisible());
    EXPECT_EQ(shell.icon(icon->iconId()), nullptr);

    // Without a notification area every request fails and nothing breaks.
    shell.hasTray = false;
    EXPECT_FALSE(icon->AddTrayIcon());
    EXPECT_FALSE(icon->ShowBalloon("t", "x", BalloonIconKind::Info, 1));
}
