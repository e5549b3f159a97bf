#include <gtest/gtest.h>

#include <QImage>
#include <optional>

#include "support/Desktop.h"
#include "support/DesktopSession.h"
#include "support/FixtureSite.h"
#include "support/LotfinchProgram.h"
#include "support/SessionBus.h"
#include "support/TestUtil.h"

// A person's whole job with the program on a Wayland desktop (GNOME Shell, KDE
// Plasma, sway; see tools/desktops): start it, search, be told, see the found
// items, open one, copy it, exit. The same walk runs on every desktop; what it
// is told about the desktop comes from the test's environment:
//   LOTFINCH_E2E_DESKTOP_NAME   the desktop as the screenshots' names give it
//   LOTFINCH_E2E_PLATFORM       the Qt platform the program should be on (wayland, xcb)
//   LOTFINCH_E2E_FORCE_PLATFORM 1: chosen for the program; otherwise its own choice
//   LOTFINCH_E2E_REACH          how the person gets to the found items: tray (its
//                               menu), notification (a click on it), window (the
//                               main window's "Auctions..." button)

using namespace lotfinch::e2e;
using lotfinch::test::FixtureSite;
using lotfinch::test::waitUntil;

namespace {

const QString Phrase = "digital camera";
const QString MainTitle = "Lotfinch Lite 2.0";
const QString FoundItemsTitle = "Links Matching";

// Places in the windows' fixed layouts (client coordinates), found from
// where OCR reads a text that stands alone: the main window's "Look For:"
// label (OCR misreads the buttons' captions next to their glyphs) and the
// found-items window's Close button.
const QPoint LookFor(19 + 14 + 1, 20 + 54 + 3);
const QPoint PhraseBox(19 + 72 + 100, 20 + 52 + 10);
const QPoint StartButton(14 + 45, 142 + 17);
const QPoint AuctionsButton(117 + 45, 142 + 17);
const QPoint ExitButton(220 + 45, 142 + 17);
const QPoint CloseButton(257 + 55, 470 + 15);
const QPoint FirstEntry(7 + 60, 8 + 6);

// Whether the list row through the point shows the selection's colour over
// most of its width: on its own, a row is dark text on white.
bool isHighlighted(const QImage &screen, QPoint row)
{
    int coloured = 0;
    const int width = 200;
    for (int x = 0; x < width; ++x) {
        const QColor pixel = screen.pixelColor(row + QPoint(x, 0));
        coloured += pixel.hsvSaturation() > 80;
    }
    return coloured > width / 2;
}

class DesktopWalk : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(desktop.kind().isEmpty()) << "runs inside a tools/desktops session";
        ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
        if (qEnvironmentVariable("LOTFINCH_E2E_FORCE_PLATFORM") == "1")
            qputenv("QT_QPA_PLATFORM", platform.toLatin1());
        else
            qunsetenv("QT_QPA_PLATFORM");
        program.emplace(site.proxyUrl());
        ASSERT_TRUE(program->started()) << "LOTFINCH_PROGRAM names the program under test";
    }

    // Saves the screen as <desktop>-<platform>-<nn>-<step>.png; a step's
    // later screenshots replace its earlier ones.
    QString shot(const QString &step)
    {
        if (step != lastStep_)
            ++steps_;
        lastStep_ = step;
        const QString platformName = platform == "xcb" ? "xwayland" : platform;
        return desktop.screenshot(QString("%1-%2-%3-%4")
                                      .arg(qEnvironmentVariable("LOTFINCH_E2E_DESKTOP_NAME"), platformName)
                                      .arg(steps_, 2, 10, QChar('0'))
                                      .arg(step));
    }

    // A fixed-size window tells the desktop so: it offers neither to resize
    // nor to maximise it (where the desktop tells).
    static void expectFixedSize(const ShownWindow &window)
    {
        if (!window.sizing.isEmpty()) {
            EXPECT_EQ(window.sizing.toStdString(), "fixed") << window.title.toStdString();
        }
    }

    // The window once it shows where the desktop put it (GNOME lists a new
    // window before it places it, at first with no size at all).
    std::optional<ShownWindow> waitForWindow(const QString &title, int ms = 30000)
    {
        std::optional<ShownWindow> window;
        QRect before;
        const bool placed = waitUntil(
            [&] {
                if (!(window = desktop.window(program->pid(), title)) || window->minimized || window->frame.isEmpty())
                    return false;
                std::swap(before, window->frame);
                return before == window->frame;
            },
            ms);
        return placed ? window : std::nullopt;
    }

    // Where the words show in the area of the screen, taking screenshots as
    // the step until they do; an empty rectangle if they never do.
    QRect waitForText(QRect area, const QString &words, const QString &step, int ms = 20000)
    {
        QRect found;
        waitUntil([&] { return !(found = findText(area, words, shot(step))).isEmpty(); }, ms);
        return found;
    }

    // The main window in front, as from the task bar, and where the place
    // (in its client coordinates) is on the screen; nothing if it is not shown.
    std::optional<QPoint> inMainWindow(QPoint place, const QString &step)
    {
        std::optional<ShownWindow> main = desktop.window(program->pid(), MainTitle);
        if (main && main->minimized)
            desktop.activate(MainTitle);
        main = waitForWindow(MainTitle);
        if (main)
            expectFixedSize(*main);
        // The labels' corner of the window, below whatever title bar it has:
        // OCR reads a small area more reliably.
        QRect label = main ? waitForText(QRect(main->frame.topLeft(), QSize(150, 170)), "Look For", step) : QRect();
        if (label.isEmpty())
            return std::nullopt;
        return label.topLeft() + place - LookFor;
    }

    DesktopSession desktop;
    const QString platform = qEnvironmentVariable("LOTFINCH_E2E_PLATFORM");
    const QString reach = qEnvironmentVariable("LOTFINCH_E2E_REACH");
    FixtureSite site;
    std::optional<LotfinchProgram> program;

private:
    int steps_ = 0;
    QString lastStep_;
};

} // namespace

TEST_F(DesktopWalk, SearchBeToldOpenAndCopyAFoundItemThenExit)
{
    const qint64 pid = program->pid();
    NotificationMonitor notifications;
    ASSERT_TRUE(notifications.started()) << notifications.output().toStdString();

    // The splash comes first, then the main window, on the expected platform.
    ASSERT_TRUE(waitUntil([&] { return !desktop.windows(pid).empty(); }, 60000)) << program->output().toStdString();
    shot("splash");
    std::optional<ShownWindow> main = waitForWindow(MainTitle, 120000);
    ASSERT_TRUE(main) << program->output().toStdString();
    EXPECT_EQ(main->x11, platform == "xcb");
    // Task bars find the program's icon and name through its desktop entry.
    // (KWin gives X11 classes in lower case.)
    EXPECT_EQ(main->appId.toLower().toStdString(), "com.pellory.lotfinch");
    expectFixedSize(*main);

    std::optional<QPoint> phraseBox = inMainWindow(PhraseBox, "main-window");
    ASSERT_TRUE(phraseBox);

    // The title bar that Qt draws on Wayland (GNOME) offers to maximise the
    // window anyway; the window stays as and where it is.
    if (desktop.kind() == "gnome" && !main->x11) {
        auto frame = [&] {
            std::optional<ShownWindow> now = desktop.window(pid, MainTitle);
            return now ? now->frame : QRect();
        };
        const QRect before = frame();
        desktop.click(QPoint(before.right() - 40, before.top() + 14)); // its maximise button
        waitUntil([&] { return frame() != before; }, 3000);            // the desktop follows at first
        EXPECT_TRUE(waitUntil([&] { return frame() == before; })) << shot("maximised").toStdString();
    }

    // Type the phrase and press Start.
    desktop.click(*phraseBox);
    desktop.type(Phrase);
    ASSERT_FALSE(waitForText(QRect(*phraseBox - QPoint(100, 12), QSize(200, 24)), Phrase, "phrase").isEmpty());
    desktop.click(*phraseBox + StartButton - PhraseBox);
    shot("started");

    // FOUND reaches the desktop's notification service, and the desktop shows it.
    ASSERT_TRUE(
        waitUntil([&] { return notifications.output().contains("string \"Matches for digital camera.\""); }, 60000))
        << notifications.output().toStdString() << program->output().toStdString();
    const QRect found = waitForText(desktop.notificationArea(), "FOUND", "found-notification");
    EXPECT_FALSE(found.isEmpty());

    // The found items, reached the desktop's way.
    if (reach == "tray") {
        ASSERT_TRUE(desktop.hasTray());
        ASSERT_TRUE(waitUntil([&] { return desktop.pickTrayMenuEntry(pid, "Links to \"" + Phrase); }))
            << program->output().toStdString();
    } else if (reach == "notification") {
        ASSERT_FALSE(found.isEmpty());
        desktop.click(found.center());
    } else {
        std::optional<QPoint> auctions = inMainWindow(AuctionsButton, "main-window-again");
        ASSERT_TRUE(auctions);
        desktop.click(*auctions);
    }
    std::optional<ShownWindow> items = waitForWindow(FoundItemsTitle);
    ASSERT_TRUE(items) << program->output().toStdString();
    expectFixedSize(*items);

    // Open the newest item in the browser: select it (clicking again while the
    // list shows no selection, as a person would), then View Auction.
    // The lower part of the window, where its buttons are (a few pixels more,
    // for desktops whose frame leaves out a drawn decoration).
    const QRect buttons(items->frame.left(), items->frame.top() + items->frame.height() * 2 / 3, items->frame.width(),
                        items->frame.height() / 3 + 30);
    const QRect close = waitForText(buttons, "Close", "found-items");
    ASSERT_FALSE(close.isEmpty()) << items->frame.x() << "," << items->frame.y() << " " << items->frame.width() << "x"
                                  << items->frame.height();
    const QPoint first = close.center() + FirstEntry - CloseButton;
    ASSERT_TRUE(waitUntil([&] {
        desktop.click(first);
        return isHighlighted(QImage(shot("item-selected")), first);
    }));
    const QRect view = waitForText(buttons, "View Auction", "item-selected");
    ASSERT_FALSE(view.isEmpty());
    desktop.click(view.center());
    const QString link = FixtureSite::newestItemLink();
    EXPECT_TRUE(waitUntil([&] { return program->openedInBrowser() == QStringList{link}; }))
        << program->openedInBrowser().join(' ').toStdString();

    // Copy its address through the list's menu, picking its entries by their
    // underlined letters.
    desktop.click(first, 3);
    const QRect menuArea(first, QSize(260, 60));
    ASSERT_FALSE(waitForText(menuArea, "Open in Default", "item-menu").isEmpty());
    desktop.type("c");
    shot("copy-menu");
    desktop.type("u");
    EXPECT_TRUE(waitUntil([&] { return desktop.clipboardText() == link; })) << desktop.clipboardText().toStdString();

    // Close the list and exit, confirming if the program asks.
    desktop.click(close.center());
    ASSERT_TRUE(waitUntil([&] { return !desktop.window(pid, FoundItemsTitle); }));
    if (reach == "tray") {
        ASSERT_TRUE(desktop.pickTrayMenuEntry(pid, "Exit"));
    } else {
        std::optional<QPoint> exit = inMainWindow(ExitButton, "main-window-at-exit");
        ASSERT_TRUE(exit);
        desktop.click(*exit);
        // OK by its underlined letter once the question has the keyboard.
        std::optional<ShownWindow> question;
        if (waitUntil([&] { return (question = desktop.window(pid, "CLOSE APPLICATION")) && question->focused; })) {
            shot("exit-confirm");
            desktop.type("o");
            EXPECT_TRUE(waitUntil([&] { return !desktop.window(pid, "CLOSE APPLICATION"); }, 5000))
                << "the question answers O for OK";
            if (desktop.window(pid, "CLOSE APPLICATION"))
                desktop.key("Return");
        }
    }
    EXPECT_EQ(program->waitForExit(30000), 0) << program->output().toStdString();
    shot("exited");
}
