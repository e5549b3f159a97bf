#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolTip>
#include <csignal>
#include <memory>

#include "desktop/ImageList.h"
#include "desktop/TrayIcon.h"
#include "support/Desktop.h"
#include "support/TestUtil.h"

using namespace lotfinch::desktop;
using namespace lotfinch::e2e;
using lotfinch::platform::TrayShell;
using lotfinch::test::waitUntil;

namespace {

QIcon badge(const QColor &colour)
{
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setBrush(colour);
    painter.drawEllipse(2, 2, 18, 18);
    return QIcon(pixmap);
}

// The real tray icon component on the real notification area, in this process.
class TrayIconTest : public testing::Test
{
protected:
    void SetUp() override
    {
        images.add(badge(Qt::darkGreen));
        images.add(badge(Qt::red));
        menu.addAction("Open Lotfinch Crawler...");
        menu.addAction("Exit");
        icon = std::make_unique<TrayIcon>(nullptr);
        icon->setIconList(&images);
        icon->setHint(hint);
        icon->setPopupMenu(&menu);
        icon->Loaded();
        ASSERT_TRUE(TrayShell::instance().available());
        ASSERT_TRUE(icon->AddTrayIcon());
        ASSERT_TRUE(waitUntil([&] { return trayIcons(pid).size() == 1; }));
    }

    QPoint iconCentre() { return geometry(trayIcons(pid).front()).center(); }

    const std::string hint = "Lotfinch: watching for \"caf\u00e9 \u6771\u4eac lamp\"";
    const qint64 pid = QCoreApplication::applicationPid();
    lotfinch::desktop::ImageList images;
    QMenu menu;
    std::unique_ptr<TrayIcon> icon;
};

QWidget *visibleBalloon()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->inherits("QBalloonTip"))
            return widget;
    return nullptr;
}

} // namespace

TEST_F(TrayIconTest, ShowsItsTooltipAndABalloonThatCanBeClicked)
{
    movePointer(iconCentre() + QPoint(1, 1));
    movePointer(iconCentre());
    EXPECT_TRUE(waitUntil([&] {
        return QToolTip::isVisible() &&
               QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText() == QString::fromStdString(hint);
    }));
    screenshot("tooltip");
    movePointer({500, 500});

    std::vector<std::string> events;
    icon->OnBalloonHintShow = [&](QObject *) { events.push_back("show"); };
    icon->OnBalloonHintHide = [&](QObject *) { events.push_back("hide"); };
    icon->OnBalloonHintClick = [&](QObject *) { events.push_back("click"); };
    icon->setIconIndex(1);
    ASSERT_TRUE(icon->ShowBalloon("FOUND", "Matches for lamp.", BalloonIconKind::Info, 15));
    ASSERT_TRUE(waitUntil([&] { return visibleBalloon() && events.size() == 1; }));
    QWidget *balloon = visibleBalloon();
    for (QLabel *label : balloon->findChildren<QLabel *>()) // a page's words are never markup there
        EXPECT_TRUE(label->text().isEmpty() || label->textFormat() == Qt::PlainText) << label->text().toStdString();
    // It is on the screen for a person to see, not only a widget.
    ASSERT_TRUE(waitUntil([&] { return !otherWindows(pid).empty(); }));
    screenshot("balloon");

    click(balloon->geometry().center(), 1);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"show", "click"}));
    EXPECT_TRUE(waitUntil([&] { return !visibleBalloon(); }));

    // A balloon taken back before anyone clicks it is hidden.
    ASSERT_TRUE(icon->ShowBalloon("FOUND", "Matches for lamp.", BalloonIconKind::Warning, 15));
    ASSERT_TRUE(waitUntil([&] { return visibleBalloon() && events.size() == 3; }));
    icon->ClearBalloon();
    EXPECT_TRUE(waitUntil([&] { return !visibleBalloon() && events.size() == 4; }));
    EXPECT_EQ(events, (std::vector<std::string>{"show", "click", "show", "hide"}));
}

TEST_F(TrayIconTest, RightClickOpensTheMenu)
{
    std::vector<Qt::MouseButton> pressed;
    icon->OnMouseDown = [&](QObject *, Qt::MouseButton button, ShiftState, int, int) { pressed.push_back(button); };
    bool menuSeen = false;
    // The menu runs its own loop: it is looked at and closed from inside it.
    QObject::connect(&menu, &QMenu::aboutToShow, &menu, [&] {
        QTimer::singleShot(0, &menu, [&] {
            menuSeen = waitUntil([&] {
                std::vector<WindowId> others = otherWindows(pid);
                return others.size() == 1 && geometry(others.front()).height() > 40;
            });
            screenshot("menu");
            menu.close();
        });
    });
    click(iconCentre(), 3);
    ASSERT_TRUE(waitUntil([&] { return menuSeen; }));
    EXPECT_EQ(pressed, std::vector<Qt::MouseButton>{Qt::RightButton});
}

TEST_F(TrayIconTest, ComesBackWhenTheTrayHostRestarts)
{
    qint64 trayer = qEnvironmentVariableIntValue("LOTFINCH_TRAYER_PID");
    ASSERT_GT(trayer, 0) << "run-e2e names the tray host it started";
    ::kill(static_cast<pid_t>(trayer), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return !TrayShell::instance().available(); }));
    EXPECT_TRUE(icon->IconVisible());
    EXPECT_FALSE(icon->UpdateTrayIcon()); // nowhere to show it

    QProcess host;
    host.start("trayer", qEnvironmentVariable("LOTFINCH_TRAYER_ARGS").split(' ', Qt::SkipEmptyParts));
    ASSERT_TRUE(host.waitForStarted());
    EXPECT_TRUE(waitUntil([&] { return trayIcons(pid).size() == 1; }));
    EXPECT_TRUE(icon->UpdateTrayIcon());
    screenshot("after-restart");

    // A hidden icon stays away from the new host.
    icon->setIconVisible(false);
    host.kill();
    host.waitForFinished();
    host.start("trayer", qEnvironmentVariable("LOTFINCH_TRAYER_ARGS").split(' ', Qt::SkipEmptyParts));
    ASSERT_TRUE(host.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return !trayPanel().isEmpty(); }));
    lotfinch::test::runEventsFor(500);
    EXPECT_TRUE(trayIcons(pid).empty());
    host.kill();
    host.waitForFinished();
}
