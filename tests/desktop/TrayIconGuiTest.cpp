#include <gtest/gtest.h>

#include <QWidget>

#include "desktop/TrayIcon.h"
#include "support/FakeTrayShell.h"
#include "support/TestUtil.h"

using namespace lotfinch::desktop;
using lotfinch::test::FakeTrayShell;
using lotfinch::test::waitUntil;

TEST(TrayIconGui, MinimisingTheOwnerMovesItIntoTheTray)
{
    struct Case
    {
        const char *name;
        bool minimizeToTray;
        bool hasTray;
        bool withHandler;
        bool intoTray;
    };
    const Case cases[] = {
        {"minimise to tray", true, true, false, true},
        {"minimise to tray, with OnMinimizeToTray", true, true, true, true},
        {"ordinary minimise", false, true, true, false},
        // A window hidden without a tray to come back from would be lost.
        {"no notification area", true, false, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeTrayShell shell;
        shell.hasTray = c.hasTray;
        QWidget form;
        form.resize(200, 100);
        auto *icon = new TrayIcon(&form);
        icon->setMinimizeToTray(c.minimizeToTray);
        int handled = 0;
        if (c.withHandler)
            icon->OnMinimizeToTray = [&](QObject *) { ++handled; };
        icon->Loaded();
        form.show();
        ASSERT_TRUE(waitUntil([&] { return form.isVisible(); }));

        form.showMinimized();
        if (c.intoTray) {
            EXPECT_TRUE(waitUntil([&] { return !form.isVisible(); }));
        } else {
            lotfinch::test::runEventsFor(50);
        }
        EXPECT_EQ(form.isVisible(), !c.intoTray);
        EXPECT_EQ(icon->IconVisible(), c.intoTray);
        EXPECT_EQ(shell.icon(icon->iconId()) != nullptr, c.intoTray);
        EXPECT_EQ(handled, c.intoTray && c.withHandler ? 1 : 0);
        EXPECT_TRUE(form.isMinimized());
        // Shown again, the window comes back in its normal state.
        if (c.intoTray) {
            form.show();
            EXPECT_TRUE(form.isVisible());
            EXPECT_FALSE(form.isMinimized());
        }
    }
}

TEST(TrayIconGui, StartupHandlerCanKeepTheOwnerHidden)
{
    for (bool show : {true, false}) {
        SCOPED_TRACE(show);
        FakeTrayShell shell;
        QWidget form;
        form.show();
        auto *icon = new TrayIcon(&form);
        int asked = 0;
        icon->OnStartup = [&](QObject *, bool &showMainForm) {
            ++asked;
            showMainForm = show;
        };
        icon->Loaded();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(form.isVisible(), show);
    }
}
