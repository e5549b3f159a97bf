#include <gtest/gtest.h>

#include <QProcess>

#include "core/Sites.h"
#include "support/Desktop.h"
#include "support/ProgramWithFixtureSite.h"
#include "support/SessionBus.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::waitUntil;

// A desktop without a notification area but with a notification daemon
// (run-e2e's "none" desktop), such as plain GNOME.
class NoTray : public ProgramWithFixtureSite
{};

TEST_F(NoTray, AnnouncesFindingsAsDesktopNotificationsAndTakesToATrayThatComesLater)
{
    NotificationMonitor notifications;
    ASSERT_TRUE(notifications.started()) << notifications.output().toStdString();
    program.startSearch("digital camera");

    // The "FOUND" announcement arrives as a desktop notification, and the
    // daemon shows it.
    ASSERT_NO_FATAL_FAILURE(expectFoundNotification(notifications, program));

    // A notification area that starts later gets the icon.
    QProcess panel;
    panel.start("xfce4-panel", {"--disable-wm-check"});
    ASSERT_TRUE(panel.waitForStarted());
    QRect area;
    ASSERT_TRUE(waitUntil([&] { return !(area = statusTrayArea()).isEmpty(); }, 30000));
    QRect icon;
    EXPECT_TRUE(waitUntil([&] { return !(icon = drawnIn(area, screenshot("tray-came"))).isEmpty(); }, 30000));
    EXPECT_LE(icon.width(), area.height()) << "one icon";
    panel.terminate();
    panel.waitForFinished();
}

TEST_F(NoTray, ARobotCheckIsACheckFailedNotificationWhoseActionOpensTheSearchInTheBrowser)
{
    NotificationMonitor notifications;
    ASSERT_TRUE(notifications.started()) << notifications.output().toStdString();
    // eBay answers the program with its browser check, as it answers programs today.
    ASSERT_TRUE(site.control("mode=challenge"));
    program.startSearch("digital camera");

    QRect popup;
    ASSERT_NO_FATAL_FAILURE(expectNotification(notifications, program, "CHECK FAILED",
                                               "ebay.com asked for a browser check instead of results",
                                               "dialog-warning", "browser check", &popup));
    const QString calls = notifications.output();
    EXPECT_TRUE(calls.contains("string \"Open in browser\"")) << calls.toStdString();
    EXPECT_FALSE(calls.contains("string \"FOUND\"")) << "the check's page is no result page";

    // The action opens the search in the browser, where a person passes the check.
    QRect action;
    ASSERT_TRUE(waitUntil([&] {
        return !(action = findText(popup, "Open in browser", screenshot("action"))).isEmpty();
    })) << readText(popup).toStdString();
    click(action.center(), 1);
    const QStringList search{QString::fromStdString(lotfinch::core::SearchAddress(0, "digital camera"))};
    EXPECT_TRUE(waitUntil([&] { return program.openedInBrowser() == search; }, 20000))
        << program.openedInBrowser().join(' ').toStdString();
}
