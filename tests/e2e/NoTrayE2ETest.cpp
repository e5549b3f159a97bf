#include <gtest/gtest.h>

#include <QProcess>

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
