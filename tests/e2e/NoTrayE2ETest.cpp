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
    ASSERT_TRUE(
        waitUntil([&] { return notifications.output().contains("string \"Matches for digital camera.\""); }, 60000))
        << notifications.output().toStdString() << program.output().toStdString();
    QString calls = notifications.output();
    EXPECT_TRUE(calls.contains("string \"FOUND\"")) << calls.toStdString();
    EXPECT_TRUE(calls.contains("string \"dialog-information\"")) << calls.toStdString();
    QString shot;
    EXPECT_TRUE(waitUntil([&] {
        shot = screenshot("found-notification");
        return !findText(QRect(0, 0, 1024, 768), "Matches for digital camera", shot).isEmpty();
    }));

    // A notification area that starts later gets the icon.
    QProcess panel;
    panel.start("xfce4-panel", {"--disable-wm-check"});
    ASSERT_TRUE(panel.waitForStarted());
    QRect area;
    ASSERT_TRUE(waitUntil([&] { return !(area = xfcePanel()).isEmpty(); }, 30000));
    EXPECT_TRUE(waitUntil([&] { return !drawnIn(area, screenshot("tray-came")).isEmpty(); }, 30000));
    panel.terminate();
    panel.waitForFinished();
}
