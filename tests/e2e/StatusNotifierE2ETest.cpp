#include <gtest/gtest.h>

#include "support/Desktop.h"
#include "support/ProgramWithFixtureSite.h"
#include "support/SessionBus.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::waitUntil;

// A desktop whose notification area is a StatusNotifier host (xfce4-panel's
// status tray, run-e2e's "statusnotifier" desktop), with a notification
// daemon: the panel draws the icon itself, and balloons are notifications.
class StatusNotifierTray : public ProgramWithFixtureSite
{};

TEST_F(StatusNotifierTray, HostsTheIconWithItsTooltipMenuAndActivationAndTheDaemonShowsTheBalloon)
{
    NotificationMonitor notifications;
    ASSERT_TRUE(notifications.started()) << notifications.output().toStdString();
    const QRect panel = statusTrayArea();
    ASSERT_FALSE(panel.isEmpty()) << "run-e2e starts xfce4-panel";
    program.startSearch("digital camera");

    // The icon is registered with the watcher, and the window went to it.
    QString item;
    ASSERT_TRUE(waitUntil([&] { return !(item = statusNotifierItemOf(pid)).isEmpty(); }, 30000))
        << program.output().toStdString();
    EXPECT_TRUE(waitUntil([&] { return visibleWindows(pid, LotfinchProgram::MainTitle).empty(); }));

    // The "FOUND" balloon reaches the notification daemon, which shows it.
    ASSERT_NO_FATAL_FAILURE(expectFoundNotification(notifications, program));

    // The tooltip, as the host reads it, tells what was found.
    EXPECT_TRUE(waitUntil([&] {
        return statusNotifierToolTip(item) == "FOUND matches for \"digital camera\" on ebay.com.";
    })) << statusNotifierToolTip(item).toStdString();

    // The panel draws the icon.
    QRect icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = drawnIn(panel, screenshot("panel"))).isEmpty(); }));
    EXPECT_LE(icon.width(), panel.height()) << "one icon";

    // A right click on it opens the program's menu, which the panel draws;
    // its entries do what they do in the program's own menu.
    click(icon.center(), 3);
    const QRect below(0, panel.bottom(), 500, 400);
    QRect entry;
    ASSERT_TRUE(
        waitUntil([&] { return !(entry = findText(below, "Links to digital camera", screenshot("menu"))).isEmpty(); }));
    click(entry.center(), 1);
    std::vector<WindowId> links;
    ASSERT_TRUE(waitUntil([&] { return !(links = visibleWindows(pid, "Links Matching")).empty(); }))
        << program.output().toStdString();
    QRect close;
    ASSERT_TRUE(waitUntil(
        [&] { return !(close = findText(geometry(links.front()), "Close", screenshot("found-items"))).isEmpty(); }));
    click(close.center(), 1);
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(pid, "Links Matching").empty(); }));

    // The host turns a left click into activation, which does what a
    // double-click on the icon does: the main window comes back.
    click(icon.center(), 1);
    EXPECT_TRUE(waitUntil([&] { return !visibleWindows(pid, LotfinchProgram::MainTitle).empty(); }))
        << program.output().toStdString();
    screenshot("activated");
}

TEST_F(StatusNotifierTray, AboutAndExitFromTheMenuDuringTheStartPopupRunAfterIt)
{
    program.startSearch("digital camera");
    QString item;
    ASSERT_TRUE(waitUntil([&] { return !(item = statusNotifierItemOf(pid)).isEmpty(); }, 30000))
        << program.output().toStdString();
    // The popup shows for three seconds after the window goes to the tray.
    ASSERT_TRUE(waitUntil([&] { return !visibleWindows(pid, LotfinchProgram::PopupTitle).empty(); }, 3000));
    ASSERT_TRUE(clickStatusNotifierMenuEntry(item, "About Lotfinch..."));
    ASSERT_TRUE(clickStatusNotifierMenuEntry(item, "Exit"));
    EXPECT_EQ(program.waitForExit(20000), 0) << program.output().toStdString();
}
