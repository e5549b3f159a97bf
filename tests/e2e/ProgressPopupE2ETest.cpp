#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QWindow>

#include "gui/ProgressPopup.h"
#include "support/Desktop.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::gui::ProgressPopup;
using lotfinch::test::waitUntil;

TEST(ProgressPopupOnScreen, IsOnScreenBeforeTheWaitEvenWithItsOwnerHidden)
{
    // As at the start of a search: the main window has just gone to the tray.
    QWidget owner;
    owner.resize(324, 186);
    owner.show();
    ASSERT_TRUE(waitUntil([&] { return owner.windowHandle()->isExposed(); }));
    owner.hide();

    ProgressPopup popup(&owner);
    popup.ShowStatus(200, "Searching ebay.com (US) for \"brass lamp\"...", false);
    // Nothing ran since the wait: the popup reached the screen before it.
    EXPECT_TRUE(popup.windowHandle()->isExposed());
    qint64 pid = QCoreApplication::applicationPid();
    EXPECT_TRUE(waitUntil([&] {
        std::vector<WindowId> shown = visibleWindows(pid);
        return std::find(shown.begin(), shown.end(), popup.winId()) != shown.end();
    }));
    screenshot("shown");

    popup.ShowStatus(0, "done", true);
    EXPECT_TRUE(waitUntil([&] { return visibleWindows(pid).empty(); }));
}
