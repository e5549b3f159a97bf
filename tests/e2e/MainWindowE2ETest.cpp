#include <gtest/gtest.h>

#include "support/Desktop.h"
#include "support/LotfinchProgram.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::waitUntil;

TEST(Program, MinimisedWindowLivesInTheTrayAndComesBackOnDoubleClick)
{
    LotfinchProgram program;
    ASSERT_TRUE(program.started()) << "LOTFINCH_PROGRAM names the program under test";
    const qint64 pid = program.pid();
    WindowId mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, 0u);
    EXPECT_TRUE(trayIcons(pid).empty());
    // Docks know the window by its class: the desktop entry's name.
    EXPECT_TRUE(
        runTool("xprop", {"-id", QString::number(mainWindow), "WM_CLASS"}).contains("\"com.pellory.Lotfinch\""));
    const QRect place = geometry(mainWindow);
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
    ASSERT_TRUE(waitUntil(
        [&] { return visibleWindows(pid, LotfinchProgram::MainTitle).size() == 1 && trayIcons(pid).empty(); }));
    EXPECT_EQ(geometry(visibleWindows(pid, LotfinchProgram::MainTitle).front()), place);
    screenshot("restored");
}
