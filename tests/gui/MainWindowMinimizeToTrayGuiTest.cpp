#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QPushButton>

#include "gui/MainWindow.h"
#include "support/FakeTrayShell.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using lotfinch::test::FakeTrayShell;
using lotfinch::test::waitUntil;

namespace {

class MinimizeToTray : public testing::Test
{
protected:
    MinimizeToTray() : form(new gui::MainWindow) {}
    ~MinimizeToTray() override { delete form; }

    bool inTray() const { return shell.icon(form->trayIcon->iconId()) != nullptr; }

    FakeTrayShell shell;
    QPointer<gui::MainWindow> form;
};

} // namespace

TEST_F(MinimizeToTray, TrayIconStartsHiddenWithTheFirstImageAndTheHintTemplate)
{
    desktop::TrayIcon &icon = *form->trayIcon;
    EXPECT_EQ(icon.IconList(), form->trayImages);
    EXPECT_EQ(icon.IconIndex(), 0);
    EXPECT_EQ(icon.Icon().cacheKey(), form->trayImages->icon(0).cacheKey());
    EXPECT_EQ(icon.Hint(), "Crawl \"site\" once every \"time\" to locate \"\"search\".\"");
    EXPECT_EQ(icon.PopupMenu(), form->trayMenu);
    EXPECT_TRUE(icon.MinimizeToTray());
    EXPECT_FALSE(icon.CycleIcons());
    EXPECT_FALSE(icon.IconVisible());
    EXPECT_FALSE(inTray());
}

TEST_F(MinimizeToTray, MinimisedWindowGoesToTheTrayAndADoubleClickBringsItBack)
{
    form->show();
    ASSERT_TRUE(waitUntil([&] { return form->isVisible(); }));
    EXPECT_FALSE(inTray());

    form->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return !form->isVisible(); }));
    EXPECT_TRUE(inTray());
    EXPECT_EQ(platform::fieldText(shell.icon(form->trayIcon->iconId())->szTip), form->trayIcon->Hint());

    // A double-click runs restoreFromTray twice: as the icon's handler and
    // through the menu's default entry.
    quint32 id = form->trayIcon->iconId();
    for (quint32 event :
         {platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP, platform::WM_LBUTTONDBLCLK, platform::WM_LBUTTONUP})
        shell.send(id, event);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(inTray());

    // The menu's "Open" entry alone does the same.
    form->hide();
    EXPECT_TRUE(inTray());
    form->openAction->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(inTray());
}

TEST_F(MinimizeToTray, WithoutATrayARestoredWindowIsReadyAsIfShown)
{
    shell.hasTray = false;
    form->show();
    ASSERT_TRUE(waitUntil([&] { return form->isVisible(); }));
    form->showMinimized();
    form->Found.AddFoundItem("http://www.ebay.com/itm/A/1?x", "found while minimised");
    QApplication::setWindowIcon(QIcon());

    form->showNormal(); // as the taskbar restores it
    EXPECT_TRUE(form->auctionsButton->isEnabled());
    EXPECT_EQ(QApplication::windowIcon().cacheKey(), form->trayImages->icon(form->iconIndex).cacheKey());
}

TEST_F(MinimizeToTray, ClosingTheWindowLeavesNothingInTheTray)
{
    form->show();
    ASSERT_TRUE(waitUntil([&] { return form->isVisible(); }));
    form->close();
    EXPECT_TRUE(shell.callsOf(platform::NIM_ADD).empty());
    ASSERT_TRUE(waitUntil([&] { return form.isNull(); }));
}

TEST_F(MinimizeToTray, WithoutATrayTheWindowWhenActivatedFollowsTheFoundItemsAndKeepsTheNotifications)
{
    QWidget other;
    auto activate = [&](QWidget *window) {
        window->show();
        window->activateWindow();
        return waitUntil([&] { return window->isActiveWindow(); });
    };
    for (bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "tray" : "no tray");
        shell.hasTray = tray;
        form->Found.Clear();
        form->show();
        // Start arms the icon (without a tray it stands for the notifications)
        // and, without a tray, minimises the window, where the desktop may
        // never tell of the restore.
        form->updateTrayIcon(form->trayIcon);
        ASSERT_TRUE(activate(&other));
        if (!tray)
            form->showMinimized();
        form->Found.AddFoundItem("http://www.ebay.com/itm/A/1?x", "found meanwhile");
        ASSERT_TRUE(activate(form));
        EXPECT_FALSE(form->isMinimized());
        EXPECT_EQ(form->auctionsButton->isEnabled(), !tray);
        EXPECT_TRUE(form->trayIcon->IconVisible());
    }
}
