#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>

#include "gui/PictureWidgets.h"
#include "support/Desktop.h"
#include "support/LotfinchProgram.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::gui::LoadPicture;
using lotfinch::gui::Picture;
using lotfinch::test::waitUntil;

namespace {

// Places in the fixed layouts (client coordinates).
const QPoint PhraseBox(19 + 72 + 100, 20 + 52 + 10);
const QPoint StartButton(14 + 45, 142 + 17);
const QRect SplashLabelInit(197, 163, 200, 19);
const QPoint AboutOk(120 + 37, 180 + 12);

// The menu windows of pid other than except, taken together.
QRect menusArea(qint64 pid, const std::vector<WindowId> &except)
{
    QRect area;
    for (WindowId window : otherWindows(pid, except))
        area |= geometry(window);
    return area;
}

// The mean difference of grey levels between picture's area and the same
// area of shown at where.
int meanDifference(const QImage &shown, QPoint where, const QImage &picture, QRect area)
{
    if (shown.isNull() || picture.isNull())
        return 255;
    qint64 sum = 0, count = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2)
        for (int x = area.left(); x <= area.right(); x += 2, ++count)
            sum += qAbs(qGray(shown.pixel(where + QPoint(x, y))) - qGray(picture.pixel(x, y)));
    return static_cast<int>(sum / std::max<qint64>(count, 1));
}

} // namespace

// A person starts Lotfinch: the splash counts its dots, the main window
// follows; the Start button's hint names the phrase; the About window opens
// from the tray menu and OK closes it. The "manual-" screenshots illustrate
// the product manual (tools/refresh-manual-pictures).
TEST(Startup, SplashThenMainWindowHintsAndTheAboutWindow)
{
    LotfinchProgram program;
    ASSERT_TRUE(program.started()) << "LOTFINCH_PROGRAM names the program under test";
    const qint64 pid = program.pid();

    WindowId splash = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (WindowId window : visibleWindows(pid))
                if (geometry(window).size() == QSize(399, 231))
                    splash = window;
            return splash != 0;
        },
        60000))
        << program.output().toStdString();
    QElapsedTimer sinceSplash;
    sinceSplash.start();
    const QRect splashArea = geometry(splash);
    EXPECT_TRUE(visibleWindows(pid, LotfinchProgram::MainTitle).empty()) << "the splash comes first";

    // One more dot each time; the fourth shows for a while before the last.
    QString initText;
    waitUntil(
        [&] {
            initText = plainText(readText(SplashLabelInit.translated(splashArea.topLeft())));
            return initText.contains("Lotfinch....");
        },
        30000);
    EXPECT_TRUE(initText.startsWith("Initializing the Lotfinch")) << initText.toStdString();
    EXPECT_TRUE(initText.contains("Lotfinch....")) << initText.toStdString();
    const QString splashShot = screenshot("manual-splash", splashArea);
    const QString splashText = plainText(readText(QRect(QPoint(0, 0), splashArea.size()), splashShot));
    EXPECT_TRUE(splashText.contains("Build 2.0.1.28")) << splashText.toStdString();
    EXPECT_TRUE(splashText.contains("Pellory")) << splashText.toStdString();
    // The splash picture fills its box, and the logo shows at its own size over it.
    const QImage shown(splashShot);
    EXPECT_LT(meanDifference(shown, {0, 0}, LoadPicture(Picture::Splash).scaled(240, 240), {0, 0, 240, 231}), 12);
    EXPECT_LT(meanDifference(shown, {171, 18}, LoadPicture(Picture::Logo), {0, 0, 216, 77}), 12);

    const WindowId mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, 0u) << program.output().toStdString();
    std::printf("The main window came %lld ms after the splash showed.\n",
                static_cast<long long>(sinceSplash.elapsed()));
    EXPECT_TRUE(otherWindows(pid, {mainWindow}).empty()) << "the splash is gone";
    EXPECT_EQ(program.startAgain({"--version"}), 0) << "answers while a copy runs";
    const QRect client = geometry(mainWindow);

    // The Start button's hint, drawn by the program's own hint window.
    click(client.topLeft() + PhraseBox, 1);
    typeText("digital camera");
    movePointer(client.topLeft() + StartButton);
    movePointer(client.topLeft() + StartButton + QPoint(2, 1));
    std::vector<WindowId> hint;
    ASSERT_TRUE(waitUntil([&] { return !(hint = otherWindows(pid, {mainWindow})).empty(); }, 20000));
    const QRect hintArea = geometry(hint.front());
    const QString hintShot = screenshot("manual-start-hint", (client | hintArea).adjusted(-4, -4, 4, 4));
    const QString hintText =
        plainText(readText(hintArea.translated(-(client | hintArea).topLeft() + QPoint(4, 4)), hintShot));
    EXPECT_TRUE(hintText.startsWith("Start searching for \"digital camera\"...")) << hintText.toStdString();
    movePointer({10, 700});
    ASSERT_TRUE(waitUntil([&] { return otherWindows(pid, {mainWindow}).empty(); }));
    screenshot("manual-main-window", client);

    // Into the tray, and About from its menu.
    runTool("xdotool", {"windowminimize", QString::number(mainWindow)});
    ASSERT_TRUE(waitUntil([&] { return trayIcons(pid).size() == 1 && otherWindows(pid).empty(); }));
    click(geometry(trayIcons(pid).front()).center(), 3);
    QRect system;
    ASSERT_TRUE(waitUntil([&] { return !(system = findText(menusArea(pid, {}), "Lotfinch System")).isEmpty(); }));
    click(system.center(), 1);
    QRect about;
    ASSERT_TRUE(waitUntil([&] { return !(about = findText(menusArea(pid, {}), "About Lotfinch")).isEmpty(); }));
    screenshot("manual-tray-menu", menusArea(pid, {}));
    click(about.center(), 1);

    std::vector<WindowId> aboutWindow;
    ASSERT_TRUE(waitUntil([&] { return !(aboutWindow = visibleWindows(pid, "^About Lotfinch$")).empty(); }));
    const QRect aboutArea = geometry(aboutWindow.front());
    EXPECT_EQ(aboutArea.size(), QSize(316, 213));
    const QString aboutShot = screenshot("manual-about", aboutArea);
    const QString aboutText = plainText(readText(QRect(QPoint(0, 0), aboutArea.size()), aboutShot));
    EXPECT_TRUE(aboutText.contains("Version 2.0.1, March 2012")) << aboutText.toStdString();
    click(aboutArea.topLeft() + AboutOk, 1);
    EXPECT_TRUE(waitUntil([&] { return visibleWindows(pid, "^About Lotfinch$").empty(); }));
    EXPECT_EQ(trayIcons(pid).size(), 1u) << "the program goes on in the tray";
}
