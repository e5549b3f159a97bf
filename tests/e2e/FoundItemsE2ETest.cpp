#include <gtest/gtest.h>

#include <QRegularExpression>

#include "support/Desktop.h"
#include "support/ProgramWithFixtureSite.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::FixtureSite;
using lotfinch::test::waitUntil;

namespace {

// Waits for one of the program's windows, other than except, to show words;
// returns where, or an empty rectangle.
QRect waitForText(qint64 pid, const QString &words, const std::vector<WindowId> &except)
{
    QRect found;
    waitUntil(
        [&] {
            for (WindowId window : otherWindows(pid, except))
                if (!(found = findText(geometry(window), words)).isEmpty())
                    return true;
            return false;
        },
        20000);
    return found;
}

class FoundItems : public ProgramWithFixtureSite
{};

} // namespace

// After a search, a person opens the found items from the tray menu, picks the
// newest one and copies its address and its item number through the list's
// context menu.
TEST_F(FoundItems, OpenFromTheTrayMenuAndCopyTheNewestItemNumber)
{
    const QString link = FixtureSite::newestItemLink();
    QRegularExpressionMatch number = QRegularExpression("/itm/(\\d+)$").match(link);
    ASSERT_TRUE(number.hasMatch()) << "the fixture page holds an item link: " << link.toStdString();

    program.startSearch("digital camera");
    ASSERT_TRUE(waitUntil([&] { return windowShowing(pid, "FOUND") != 0; }, 60000)) << program.output().toStdString();

    // The tray menu names the phrase in its entry for the found items.
    ASSERT_EQ(trayIcons(pid).size(), 1u);
    std::vector<WindowId> before = otherWindows(pid);
    click(geometry(trayIcons(pid).front()).center(), 3);
    QRect entry = waitForText(pid, "Links to", before);
    ASSERT_FALSE(entry.isEmpty());
    QString menuShot = screenshot("tray-menu");
    EXPECT_TRUE(
        plainText(readText(entry.adjusted(-4, -4, 400, 4), menuShot)).startsWith("Links to \"digital camera\""));
    click(entry.center(), 1);

    const QString title = "^ebay\\.com \\(US\\) Links Matching: \"digital camera\" $";
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(pid, title).size() == 1; }, 20000));
    const WindowId window = visibleWindows(pid, title).front();
    const QRect client = geometry(window);
    before = otherWindows(pid);
    screenshot("window");

    // The first entry of the list, a few pixels into its first row.
    const QPoint first = client.topLeft() + QPoint(7 + 60, 8 + 7);
    click(first, 1);
    auto copyThroughListMenu = [&](const QString &choice) {
        click(first, 3);
        QRect submenu = waitForText(pid, "Copy to Clipboard", before);
        ASSERT_FALSE(submenu.isEmpty());
        click(submenu.center(), 1);
        QRect item = waitForText(pid, choice, before);
        ASSERT_FALSE(item.isEmpty());
        click(item.center(), 1);
        ASSERT_TRUE(waitUntil([&] { return otherWindows(pid, before).empty(); }));
    };
    copyThroughListMenu("Auction URL");
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == link; })) << clipboardText().toStdString();
    copyThroughListMenu("Auction Number");
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == number.captured(1); })) << clipboardText().toStdString();

    // Resting on the list shows the selected entry's description and link.
    movePointer(first + QPoint(20, 1));
    movePointer(first + QPoint(21, 2));
    std::vector<WindowId> hint;
    ASSERT_TRUE(waitUntil([&] { return !(hint = otherWindows(pid, before)).empty(); }, 20000));
    QString hintShot = screenshot("hint");
    QString hintText = plainText(readText(geometry(hint.front()), hintShot));
    EXPECT_TRUE(hintText.contains("Samsung ES80")) << hintText.toStdString();

    // Close ends the window; the program goes on in the tray.
    movePointer({10, 700});
    click(client.topLeft() + QPoint(257 + 55, 470 + 15), 1);
    EXPECT_TRUE(waitUntil([&] { return visibleWindows(pid, title).empty(); }));
    EXPECT_EQ(trayIcons(pid).size(), 1u);
}
