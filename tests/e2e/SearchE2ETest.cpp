#include <gtest/gtest.h>

#include "support/Desktop.h"
#include "support/ProgramWithFixtureSite.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::waitUntil;

// A person types a phrase, presses Start and watches the tray: the program
// asks the (fixture) auction site through the proxy and reports the matches.
class Search : public ProgramWithFixtureSite
{
protected:
    // Rests the pointer on the tray icon until its tooltip shows; the tooltip
    // window, or none. A hover that starts while the tray is still settling
    // can go unnoticed, so the pointer leaves and comes back a few times.
    WindowId hoverForTooltip(const QPoint &icon)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            movePointer({500, 500});
            std::vector<WindowId> before = otherWindows(pid);
            movePointer(icon + QPoint(1, 1));
            movePointer(icon);
            std::vector<WindowId> shown;
            if (waitUntil([&] { return !(shown = otherWindows(pid, before)).empty(); }, 10000))
                return shown.front();
        }
        return 0;
    }
};

TEST_F(Search, AsksTheSiteAfterTheStartPopupAndReportsMatchesInTheTray)
{
    program.startSearch("digital camera");

    // The popup names the site and the phrase, and nothing is fetched while
    // it shows. The log is read before the popup is looked for: a popup still
    // up afterwards was up when the log was read.
    QStringList requestsWhilePopup;
    QRect popup;
    ASSERT_TRUE(waitUntil(
        [&] {
            requestsWhilePopup = site.requestLines();
            std::vector<WindowId> shown = visibleWindows(pid, LotfinchProgram::PopupTitle);
            if (!shown.empty())
                popup = geometry(shown.front());
            return !popup.isEmpty();
        },
        30000))
        << program.output().toStdString();
    QString popupShot = screenshot("start-popup");
    EXPECT_TRUE(requestsWhilePopup.isEmpty()) << requestsWhilePopup.join('\n').toStdString();
    EXPECT_TRUE(visibleWindows(pid, LotfinchProgram::MainTitle).empty()) << "the main window went to the tray";
    QString popupText = plainText(readText(popup, popupShot));
    EXPECT_TRUE(popupText.contains("Crawling ebay.com (US) for \"digital camera\"")) << popupText.toStdString();

    // Once the popup is gone the site is asked once, for the phrase.
    ASSERT_TRUE(waitUntil([&] { return !site.requestLines().isEmpty(); }, 30000)) << site.diagnostics().toStdString();
    QStringList requests = site.requestLines();
    ASSERT_EQ(requests.size(), 1) << requests.join('\n').toStdString();
    EXPECT_TRUE(requests[0].startsWith("GET http://www.ebay.com/sch/i.html?")) << requests[0].toStdString();
    EXPECT_TRUE(requests[0].contains("&_nkw=digital%20camera&")) << requests[0].toStdString();

    // The page holds items: a "FOUND" balloon comes up beside the tray.
    WindowId balloon = 0;
    ASSERT_TRUE(waitUntil([&] { return (balloon = windowShowing(pid, "FOUND")) != 0; }, 30000));
    QString balloonShot = screenshot("found-balloon");
    QString balloonText = plainText(readText(geometry(balloon), balloonShot));
    EXPECT_TRUE(balloonText.contains("FOUND")) << balloonText.toStdString();
    EXPECT_TRUE(balloonText.contains("Matches for digital camera.")) << balloonText.toStdString();

    // Resting on the tray icon shows the found hint.
    ASSERT_EQ(trayIcons(pid).size(), 1u);
    WindowId tooltip = hoverForTooltip(geometry(trayIcons(pid).front()).center());
    ASSERT_NE(tooltip, 0u);
    QString tooltipShot = screenshot("found-tooltip");
    // Only the text counts: the hint window's border and shape are its own.
    QString tooltipText = plainText(readText(geometry(tooltip), tooltipShot));
    EXPECT_TRUE(tooltipText.contains("FOUND matches for \"digital camera\" on ebay.com.")) << tooltipText.toStdString();
}

TEST_F(Search, TheTrayTooltipShowsThePhraseAsTyped)
{
    program.startSearch("B&W <film>");
    ASSERT_TRUE(waitUntil([&] { return !site.requestLines().isEmpty(); }, 30000)) << site.diagnostics().toStdString();
    ASSERT_TRUE(waitUntil([&] { return trayIcons(pid).size() == 1; }));
    // The start popup has gone before the hover starts.
    ASSERT_TRUE(waitUntil([&] { return otherWindows(pid).empty(); }));
    WindowId tooltip = hoverForTooltip(geometry(trayIcons(pid).front()).center());
    ASSERT_NE(tooltip, 0u);
    QString shot = screenshot("markup-phrase-tooltip");
    QString text = plainText(readText(geometry(tooltip), shot));
    EXPECT_TRUE(text.contains("\"B&W <film>")) << text.toStdString();
}
