#include <gtest/gtest.h>

#include <QProcess>

#include "support/Desktop.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::waitUntil;

namespace {

const QString MainTitle = "^Lotfinch Lite 2.0$";

// The real program, started for one test and ended with it.
class Program : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(programPath().isEmpty()) << "LOTFINCH_PROGRAM names the program under test";
        process.start(programPath(), {});
        ASSERT_TRUE(process.waitForStarted());
        pid = process.processId();
    }
    void TearDown() override
    {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
        }
    }

    QProcess process;
    qint64 pid = 0;
};

} // namespace

TEST_F(Program, MinimisedWindowLivesInTheTrayAndComesBackOnDoubleClick)
{
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(pid, MainTitle).size() == 1; }, 30000));
    WindowId mainWindow = visibleWindows(pid, MainTitle).front();
    EXPECT_TRUE(trayIcons(pid).empty());
    screenshot("shown");

    // Minimising leaves no window of the program mapped but its tray icon.
    runTool("xdotool", {"windowminimize", QString::number(mainWindow)});
    ASSERT_TRUE(waitUntil([&] { return trayIcons(pid).size() == 1 && otherWindows(pid).empty(); }));
    screenshot("in-tray");
    QPoint icon = geometry(trayIcons(pid).front()).center();

    // Resting on the icon shows its tooltip.
    movePointer(icon + QPoint(1, 1));
    movePointer(icon);
    EXPECT_TRUE(waitUntil([&] { return otherWindows(pid).size() == 1; }));
    screenshot("tooltip");

    // A right click opens the tray menu.
    click(icon, 3);
    auto menuOpen = [&] {
        for (WindowId window : otherWindows(pid))
            if (geometry(window).height() > 60)
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil(menuOpen));
    screenshot("menu");
    pressKey("Escape");
    ASSERT_TRUE(waitUntil([&] { return !menuOpen(); }));

    // A double-click brings the window back and takes the icon away.
    click(icon, 1, 2);
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(pid, MainTitle).size() == 1 && trayIcons(pid).empty(); }));
    screenshot("restored");
}
