#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

#include "core/SiteChecks.h"
#include "core/Sites.h"
#include "gui/EbayAccessDialog.h"
#include "gui/MainWindow.h"
#include "gui/ProgressPopup.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "support/FakeTrayShell.h"
#include "support/FixtureSite.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using gui::MainWindow;
using platform::MessageBoxService;
using platform::MsgAnswer;

namespace {

// The main window with the real HTTP component, talking to the fixture
// auction site through the proxy setting, and a recorded notification area.
class SearchCycle : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
        setenv("http_proxy", site.proxyUrl().toUtf8().constData(), 1);
        unsetenv("no_proxy");
        MessageBoxService::reset();
        form = new MainWindow;
        form->show();
    }
    void TearDown() override
    {
        delete form.data();
        unsetenv("http_proxy");
        MessageBoxService::reset();
    }

    // Arms the search for a phrase and site as Start does, without the popup's
    // wait. The timer's first tick is put far off: passes run when a test calls
    // pass(), never from the event loop that a test's own waits run (a control
    // request to the site, a slow machine), where a stray pass would fetch pages
    // of its own.
    void arm(const char *phrase, int siteIndex)
    {
        form->phraseCombo->setEditText(phrase);
        form->siteCombo->setCurrentIndex(siteIndex);
        form->searchArmed = true;
        form->startedPhrase = phrase;
        form->startedSite = core::SiteAt(siteIndex).listText;
        form->SearchTimer->setInterval(FirstTickAfterArmMs);
        form->hide();
    }
    void pass() { form->searchTimerFired(form->SearchTimer.get()); }

    int balloons(const char *title = "FOUND") const
    {
        int count = 0;
        for (const auto &call : tray.callsOf(platform::NIM_MODIFY))
            if ((call.data.uFlags & platform::NIF_INFO) && platform::fieldText(call.data.szInfo) != "" &&
                platform::fieldText(call.data.szInfoTitle) == title)
                ++count;
        return count;
    }
    int warnings() const { return balloons(core::CheckFailedBalloonTitle); }
    // The record of the last balloon shown.
    platform::NotifyIconData lastBalloon() const
    {
        platform::NotifyIconData last;
        for (const auto &call : tray.callsOf(platform::NIM_MODIFY))
            if ((call.data.uFlags & platform::NIF_INFO) && platform::fieldText(call.data.szInfo) != "")
                last = call.data;
        return last;
    }
    // The tray hint is hint (cut short where the tooltip needs the room)
    // followed by the failure line with reason.
    void expectFailureLine(const std::string &hint, const std::string &reason) const
    {
        const QString shown = QString::fromStdString(form->trayIcon->Hint());
        const QRegularExpressionMatch match =
            QRegularExpression("^(.*)\\nLast check failed at \\d\\d.\\d\\d: " +
                               QRegularExpression::escape(QString::fromStdString(reason)) + "$")
                .match(shown);
        ASSERT_TRUE(match.hasMatch()) << shown.toStdString();
        const QString shownHint = match.captured(1);
        EXPECT_TRUE(shownHint == QString::fromStdString(hint) ||
                    (shownHint.endsWith("...") && QString::fromStdString(hint).startsWith(shownHint.chopped(3))))
            << shown.toStdString();
    }
    QStringList searchRequests() const
    {
        QStringList lines;
        for (const QString &line : site.requestLines())
            if (!line.contains("/control"))
                lines << line;
        return lines;
    }

    // Longer than any test runs, and no frequency's interval.
    static constexpr int FirstTickAfterArmMs = 10 * 60 * 1000;

    test::FixtureSite site;
    test::FakeTrayShell tray;
    QPointer<MainWindow> form;
};

} // namespace

TEST_F(SearchCycle, StartWithAllSitesFetchesTheFiveSitesInOrderAndShowsTheFoundState)
{
    form->phraseCombo->setEditText("digital camera");
    form->siteCombo->setCurrentIndex(core::AllSitesIndex);
    form->startButton->click(); // returns after the three-second start popup
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->startedPhrase, "digital camera");
    EXPECT_EQ(form->startedSite, "all ebay and ubid sites");
    EXPECT_TRUE(form->trayIcon->IconVisible());
    EXPECT_EQ(form->trayIcon->Hint(), "Crawl ebay and/or ubid once every 24 hours to locate \"digital camera.\"");
    EXPECT_EQ(form->pageSourceAction->text(), "Starting Search for digital camera...");

    // The first pass runs three seconds after the hide and ends with the long interval.
    ASSERT_TRUE(test::waitUntil([&] { return form->SearchTimer->Interval() == 86'400'000; }, 30000));
    QStringList requests = searchRequests();
    ASSERT_EQ(requests.size(), 5) << requests.join("\n").toStdString();
    const char *hosts[] = {"www.ebay.com/", "www.ebay.ca/", "www.ebay.co.uk/", "www.ebay.com.au/", "www.ubid.com/"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(requests[i].startsWith(QString("GET http://") + hosts[i])) << requests[i].toStdString();
        EXPECT_TRUE(requests[i].contains("digital%20camera")) << requests[i].toStdString();
    }

    ASSERT_FALSE(form->Found.empty());
    const auto &items = form->Found.FoundItems();
    const auto &descriptions = form->Found.FoundDescriptions();
    ASSERT_EQ(items.count(), descriptions.count());
    EXPECT_NE(items[0].find("ubid.com"), std::string::npos) << "newest first: the uBid page came last";
    for (int i = 0; i < items.count(); ++i)
        EXPECT_EQ(items.indexOf(items[i]), i) << "no link twice: " << items[i];
    EXPECT_EQ(balloons(), 5);
    EXPECT_EQ(form->trayIcon->Hint(), "FOUND matches for \"digital camera\" on ubid.com.");
    EXPECT_EQ(form->trayIcon->IconIndex(), 6);
    EXPECT_TRUE(form->foundItemsAction->isEnabled());
    EXPECT_EQ(form->foundItemsAction->text(), "&Links to \"digital camera\"...");
}

TEST_F(SearchCycle, APageWithoutItemsLeavesTheStillCrawlingState)
{
    // ebay.com's page carries looser results under "Results matching fewer words".
    for (int siteIndex : {1, 0}) {
        const std::string domain = core::SiteAt(siteIndex).domain;
        SCOPED_TRACE(domain);
        arm("no such thing", siteIndex);
        pass();
        EXPECT_TRUE(form->Found.empty());
        EXPECT_EQ(balloons(), 0);
        EXPECT_EQ(warnings(), 0);
        EXPECT_EQ(form->trayIcon->Hint(), "STILL crawling " + domain + " for \"no such thing\".");
        EXPECT_EQ(form->trayIcon->IconIndex(), 0);
        EXPECT_FALSE(form->foundItemsAction->isEnabled());
        EXPECT_EQ(form->SearchTimer->Interval(), 86'400'000);
    }
    EXPECT_EQ(searchRequests().size(), 2);
}

TEST_F(SearchCycle, OneSitesItemsNameThatSiteAndItsImage)
{
    arm("digital camera", 2);
    form->frequencyCombo->setCurrentIndex(4);
    pass();
    ASSERT_FALSE(form->Found.empty());
    EXPECT_EQ(form->trayIcon->Hint(), "FOUND matches for \"digital camera\" on ebay.co.uk.");
    EXPECT_EQ(form->trayIcon->IconIndex(), 3);
    EXPECT_EQ(form->SearchTimer->Interval(), 3'600'000);
    EXPECT_EQ(form->DefaultTrayHint(), "STILL crawling ebay.co.uk (UK) for \"digital camera\".");
}

TEST_F(SearchCycle, AFailedCheckIsToldOnceAndNotReportedAsFound)
{
    struct Case
    {
        const char *control;
        const char *reason;
        bool refused; // the site refused the program: its search opens in the browser
    };
    const Case cases[] = {
        {"mode=fail&count=2&status=503", "ebay.com answered 503", false},
        {"mode=cut&count=2", "the page from ebay.com arrived cut short", false},
        {"mode=drop&count=2", "could not connect to ebay.com", false},
        {"mode=stall&count=2&seconds=30", "ebay.com timed out", false},
        // eBay's answers to programs today.
        {"mode=challenge&count=2", "ebay.com asked for a browser check instead of results", true},
        {"mode=empty&count=2", "ebay.com sent an empty page", true},
        {"mode=denied&count=2", "ebay.com answered 403", true},
    };
    form->httpComponent->Timeouts().ReceiveTimeout = 1000; // the stall's time-out
    arm("digital camera", 0);
    pass();
    const int count = form->Found.count();
    ASSERT_GT(count, 0);
    const std::string foundHint = "FOUND matches for \"digital camera\" on ebay.com.";
    ASSERT_EQ(form->trayIcon->Hint(), foundHint);
    const std::string goodPage(form->pageLines.text());
    int found = balloons(), warned = warnings();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.control);
        ASSERT_TRUE(site.control(c.control));
        for (int failure = 0; failure < 2; ++failure) {
            pass();
            EXPECT_EQ(balloons(), found) << "no FOUND for a page not fetched";
            EXPECT_EQ(warnings(), warned + 1) << "one warning, at the first failure";
            EXPECT_EQ(form->Found.count(), count);
            EXPECT_EQ(form->trayIcon->IconIndex(), 1);
            EXPECT_EQ(form->pageLines.text(), goodPage) << "the page source stays the last good check's";
            expectFailureLine(foundHint, c.reason);
            EXPECT_EQ(form->openSearchAction->isVisible(), c.refused);
        }
        const platform::NotifyIconData warning = lastBalloon();
        EXPECT_EQ(platform::fieldText(warning.szInfo).find("Open the search in your browser") != std::string::npos,
                  c.refused);
        EXPECT_EQ(platform::fieldText(warning.szInfoAction), c.refused ? "Open in browser" : "");
        pass();
        EXPECT_EQ(form->trayIcon->Hint(), foundHint) << "a good check clears it";
        EXPECT_FALSE(form->openSearchAction->isVisible());
        EXPECT_EQ(balloons(), ++found);
        EXPECT_EQ(warnings(), ++warned);
    }
    // Each case's three searches, and the browser check's own request twice.
    EXPECT_EQ(searchRequests().size(), 1 + 3 * 7 + 2);
}

// eBay refused the program, then put up another wall on the next check: the
// failure stands until a result page comes.
TEST_F(SearchCycle, ARefusedCheckNeverClearsAnEarlierFailure)
{
    arm("no such thing", 0);
    pass();
    ASSERT_EQ(warnings(), 0);
    const std::string stillHint = "STILL crawling ebay.com for \"no such thing\".";
    ASSERT_EQ(form->trayIcon->Hint(), stillHint);
    const std::string search = core::SearchAddress(0, "no such thing");
    platform::FakeShell browser;
    const char *walls[][2] = {
        {"mode=denied&count=1", "ebay.com answered 403"},
        {"mode=challenge&count=1", "ebay.com asked for a browser check instead of results"},
        {"mode=empty&count=1", "ebay.com sent an empty page"},
    };
    for (const auto &[control, reason] : walls) {
        SCOPED_TRACE(control);
        ASSERT_TRUE(site.control(control));
        pass();
        EXPECT_EQ(warnings(), 1) << "told once, when the checks started failing";
        expectFailureLine(stillHint, reason);
    }
    // The last refusal's search stands while the failure stands, from the
    // tray menu and from the warning's action.
    ASSERT_TRUE(form->openSearchAction->isVisible());
    form->openSearchAction->trigger();
    tray.send(form->trayIcon->iconId(), platform::NIN_BALLOONACTION);
    EXPECT_EQ(browser.opened, (std::vector<std::string>{search, search}));

    pass();
    EXPECT_EQ(form->trayIcon->Hint(), stillHint);
    EXPECT_FALSE(form->openSearchAction->isVisible());
    tray.send(form->trayIcon->iconId(), platform::NIN_BALLOONACTION);
    EXPECT_EQ(browser.opened.size(), 2u) << "nothing to open once a good check came";
}

TEST_F(SearchCycle, TodaysPagesFoundTwiceKeepEachItemOnce)
{
    arm("film camera", 0);
    for (int fetch = 1; fetch <= 2; ++fetch) {
        pass();
        EXPECT_EQ(form->Found.count(), 6);
        EXPECT_EQ(balloons(), fetch);
    }
    QStringList requests = searchRequests();
    ASSERT_EQ(requests.size(), 2);
    const auto &descriptions = form->Found.FoundDescriptions();
    EXPECT_NE(descriptions[5].find("  Nikon F3 35mm SLR Film Camera Body & 50mm f/1.4 Lens"), std::string::npos);
    EXPECT_EQ(form->trayIcon->Hint(), "FOUND matches for \"film camera\" on ebay.com.");
}

TEST_F(SearchCycle, TicksThatFallDueDuringASlowPassNeverStartANestedPass)
{
    arm("digital camera", core::AllSitesIndex);
    ASSERT_TRUE(site.control("mode=slow&seconds=1"));
    int ticks = 0, depth = 0, deepest = 0;
    form->SearchTimer->setOnTick([&](desktop::SimpleTimer *timer) {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        form->searchTimerFired(timer);
        --depth;
    });
    // Many ticks of the real timer fall due while the pass waits for its five slow pages.
    form->SearchTimer->setInterval(100);
    form->SearchTimer->setEnabled(true);
    ASSERT_TRUE(test::waitUntil([&] { return form->SearchTimer->Interval() == 86'400'000; }, 60000));
    test::runEventsFor(300);
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(ticks, 1) << "the ticks missed during the pass do not run another one afterwards";
    EXPECT_EQ(searchRequests().size(), 5) << searchRequests().join("\n").toStdString();
    EXPECT_EQ(balloons(), 5);
    EXPECT_EQ(warnings(), 0);
    const auto &items = form->Found.FoundItems();
    ASSERT_GT(items.count(), 0);
    ASSERT_EQ(items.count(), form->Found.FoundDescriptions().count());
    for (int i = 0; i < items.count(); ++i)
        EXPECT_EQ(items.indexOf(items[i]), i) << items[i];
    EXPECT_EQ(balloons(), 5);
    EXPECT_EQ(form->trayIcon->IconIndex(), 6);
}

TEST_F(SearchCycle, StartWithFoundItemsAsksWhetherToClearThem)
{
    struct Case
    {
        MsgAnswer answer;
        bool kept;
    } cases[] = {{MsgAnswer::No, true}, {MsgAnswer::Yes, false}};
    for (const auto &c : cases) {
        form->show();
        form->Found.Clear();
        form->Found.AddFoundItem("http://www.ebay.com/itm/Old-Lens/110000000001", "Old lens");
        form->foundItemsAction->setEnabled(true);
        form->siteCombo->setCurrentIndex(1);
        form->phraseCombo->setEditText("no such thing");
        MessageBoxService::reset();
        MessageBoxService::preAnswer(c.answer);
        form->startClicked();
        ASSERT_EQ(MessageBoxService::answeredQuestions().size(), 1u);
        EXPECT_EQ(MessageBoxService::answeredQuestions()[0].text, "Clear existing search results.");
        EXPECT_EQ(MessageBoxService::answeredQuestions()[0].title, "RESULTS IN STORAGE");
        EXPECT_EQ(MessageBoxService::answeredQuestions()[0].buttons, platform::MsgButtons::YesNo);
        EXPECT_EQ(form->Found.empty(), !c.kept);
        EXPECT_EQ(form->foundItemsAction->isEnabled(), c.kept);
        if (!c.kept) {
            EXPECT_EQ(form->linksCaption, "Auction Links Matching: ");
        }
        EXPECT_EQ(form->SearchTimer->Interval(), 3000);
        EXPECT_TRUE(form->SearchTimer->Enabled());
        // With the old items kept, even a pass that finds nothing ends in the found state.
        pass();
        EXPECT_EQ(form->trayIcon->IconIndex(), c.kept ? 2 : 0);
    }
}

TEST_F(SearchCycle, StartRefusesAPhraseWithCharactersTheSitesCannotBeSearchedFor)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/Old-Lens/110000000001", "Old lens");
    form->phraseCombo->setEditText(QString::fromUtf8("\u6771\u4eac camera? \U0001F4F7 \u6771"));
    MessageBoxService::preAnswer(MsgAnswer::OK);
    form->startButton->click();
    ASSERT_EQ(MessageBoxService::answeredQuestions().size(), 1u);
    const platform::MsgQuestion &question = MessageBoxService::answeredQuestions()[0];
    EXPECT_EQ(question.text, "These characters cannot be searched for: \u6771 \u4eac \U0001F4F7");
    EXPECT_EQ(question.title, "PHRASE NOT SEARCHABLE");
    EXPECT_TRUE(question.unicode);
    // Nothing is armed, and the stored results were not asked about.
    EXPECT_FALSE(form->searchArmed);
    EXPECT_FALSE(form->SearchTimer->Enabled());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->startButton->isEnabled());
    EXPECT_EQ(form->Found.count(), 1);

    // A phrase inside the code page is searched with its own letters.
    MessageBoxService::reset();
    MessageBoxService::preAnswer(MsgAnswer::No); // keep the stored results
    form->phraseCombo->setEditText(QString::fromUtf8("Caf\u00e9 \u20ac5"));
    form->startButton->click();
    EXPECT_EQ(MessageBoxService::answeredQuestions().size(), 1u);
    EXPECT_TRUE(form->searchArmed);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->SearchTimer->Enabled());
    pass();
    ASSERT_EQ(searchRequests().size(), 1);
    EXPECT_TRUE(searchRequests()[0].contains("_nkw=Caf%E9%20%805&")) << searchRequests()[0].toStdString();
}

TEST_F(SearchCycle, HidingTheWindowReArmsTheTimerWithItsCurrentInterval)
{
    arm("no such thing", 0);
    pass();
    ASSERT_EQ(form->SearchTimer->Interval(), 86'400'000);
    form->restoreFromTray();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->trayIcon->IconVisible());
    form->SearchTimer->setEnabled(false);
    form->frequencyCombo->setCurrentIndex(4); // read after the next pass, not on hide
    form->hide();
    EXPECT_TRUE(form->SearchTimer->Enabled());
    EXPECT_EQ(form->SearchTimer->Interval(), 86'400'000);
    EXPECT_TRUE(form->trayIcon->IconVisible());
    EXPECT_EQ(form->trayIcon->Hint(), "Crawl ebay.com once every hour to locate \"no such thing.\"");
}

TEST_F(SearchCycle, AHintPlaceholderInThePhraseIsInsertedUnchanged)
{
    arm("say \"search\" & \"site\"", 0);
    EXPECT_EQ(form->trayIcon->Hint(), "Crawl ebay.com once every 24 hours to locate \"say \"search\" & \"site\".\"");
    EXPECT_TRUE(form->SearchTimer->Enabled());
}

TEST_F(SearchCycle, ExitDuringAStalledFetchEndsTheWaitAndTheProgram)
{
    arm("digital camera", 0);
    ASSERT_TRUE(site.control("mode=stall&seconds=60"));
    QTimer::singleShot(300, [&] { form->exitAction->trigger(); });
    pass();
    EXPECT_TRUE(test::waitUntil([&] { return form.isNull(); }, 5000)) << "the window did not close during the wait";
    EXPECT_EQ(searchRequests().size(), 1);
}

TEST_F(SearchCycle, TrayCommandsArrivingDuringTheStartPopupRunAfterIt)
{
    // A StatusNotifier tray's menu arrives over D-Bus, which the popup's wait
    // answers; a posted call stands in for it.
    form->phraseCombo->setEditText("digital camera");
    QMetaObject::invokeMethod(form->exitAction, &QAction::trigger, Qt::QueuedConnection);
    form->startButton->click(); // returns after the three-second start popup
    ASSERT_FALSE(form.isNull()) << "Exit ran inside the popup's wait";
    EXPECT_FALSE(form->progressPopup->isVisible());
    EXPECT_TRUE(test::waitUntil([&] { return form.isNull(); }, 5000)) << "Exit was not run after the wait";
}

TEST_F(SearchCycle, APassNeverSearchesAPhraseStartWouldRefuse)
{
    arm("no such thing", 0);
    pass();
    ASSERT_EQ(searchRequests().size(), 1);
    const std::string searched = form->trayIcon->Hint();
    form->phraseCombo->setEditText(QString::fromUtf8("\u6771\u4eac no such thing"));
    pass();
    EXPECT_EQ(searchRequests().size(), 1) << searchRequests().join("\n").toStdString();
    EXPECT_EQ(warnings(), 1);
    const QString hint = QString::fromStdString(form->trayIcon->Hint());
    EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(QString::fromStdString(searched)) +
                                   "\nLast check failed at \\d\\d.\\d\\d: these characters cannot be searched for: "
                                   "U\\+6771 U\\+4EAC$")
                    .match(hint)
                    .hasMatch())
        << hint.toStdString();
    // A searchable phrase again is searched, and clears the failure.
    form->phraseCombo->setEditText("no such thing");
    pass();
    EXPECT_EQ(searchRequests().size(), 2);
    EXPECT_EQ(form->trayIcon->Hint(), searched);
}

namespace {

// The same window with API keys in the environment: the fixture site also
// stands in for eBay's Browse API, reached directly on loopback.
class ApiSearchCycle : public SearchCycle
{
protected:
    void SetUp() override
    {
        setKeys("lotfinch-fixture-id", "lotfinch-fixture-secret");
        setenv("LOTFINCH_EBAY_API", site.proxyUrl().toUtf8().constData(), 1);
        SearchCycle::SetUp();
    }
    void TearDown() override
    {
        SearchCycle::TearDown();
        unsetenv("LOTFINCH_EBAY_CLIENT_ID");
        unsetenv("LOTFINCH_EBAY_CLIENT_SECRET");
        unsetenv("LOTFINCH_EBAY_API");
    }
    static void setKeys(const char *id, const char *secret)
    {
        setenv("LOTFINCH_EBAY_CLIENT_ID", id, 1);
        setenv("LOTFINCH_EBAY_CLIENT_SECRET", secret, 1);
    }
    int requestsTo(const char *path) const { return static_cast<int>(searchRequests().filter(path).size()); }
    int tokenRequests() const { return requestsTo(" /identity/v1/oauth2/token "); }
    int apiSearches() const { return requestsTo(" /buy/browse/v1/item_summary/search?"); }
    QString hint() const { return QString::fromStdString(form->trayIcon->Hint()); }
};

} // namespace

TEST_F(ApiSearchCycle, ASearchAsksForOneTokenAndListsTheItemsNewestFirst)
{
    arm("digital camera", 0);
    pass();
    EXPECT_EQ(tokenRequests(), 1);
    ASSERT_EQ(apiSearches(), 1);
    EXPECT_EQ(searchRequests().size(), 2) << "no result page is fetched";
    EXPECT_TRUE(searchRequests().last().contains("?q=digital%20camera&sort=newlyListed&limit=200&filter=buyingOptions%"
                                                 "3A%7BAUCTION%7CFIXED_PRICE%7D "))
        << searchRequests().last().toStdString();
    ASSERT_EQ(form->Found.count(), 3);
    EXPECT_EQ(form->Found.FoundItems()[0], "https://www.ebay.com/itm/2512340002");
    EXPECT_EQ(form->Found.FoundItems()[2], "https://www.ebay.com/itm/2312345678");
    EXPECT_NE(form->Found.FoundDescriptions()[1].find("Fujifilm X-T30 II 26.1 MP Mirrorless Camera Body"),
              std::string::npos);
    EXPECT_TRUE(form->Found.FoundDescriptions()[0].ends_with("  Olympus PEN E-P7 20 MP \u2014 \u6771\u4eac edition"))
        << "a title keeps every character eBay sends";
    EXPECT_EQ(balloons(), 1);
    EXPECT_EQ(hint(), "FOUND matches for \"digital camera\" on ebay.com.");

    // The next check keeps the token and finds nothing new.
    pass();
    EXPECT_EQ(tokenRequests(), 1);
    EXPECT_EQ(apiSearches(), 2);
    EXPECT_EQ(form->Found.count(), 3);
    EXPECT_EQ(balloons(), 1);

    // A token eBay no longer takes is renewed once, and the check goes on.
    ASSERT_TRUE(site.control("expire=tokens"));
    pass();
    EXPECT_EQ(tokenRequests(), 2);
    EXPECT_EQ(apiSearches(), 4);
    EXPECT_EQ(warnings(), 0);
    EXPECT_EQ(hint(), "FOUND matches for \"digital camera\" on ebay.com.");
}

TEST_F(ApiSearchCycle, AnItemFoundOnItsPageAndThroughTheApiIsOneItem)
{
    unsetenv("LOTFINCH_EBAY_CLIENT_ID");
    arm("digital camera", 0);
    pass();
    ASSERT_EQ(apiSearches(), 0);
    const int fromPage = form->Found.count();
    ASSERT_TRUE(form->Found.Contains("http://www.ebay.com/itm/Canon-PowerShot/2312345678"));
    setKeys("lotfinch-fixture-id", "lotfinch-fixture-secret");
    pass();
    EXPECT_EQ(apiSearches(), 1);
    EXPECT_EQ(form->Found.count(), fromPage + 2);
}

TEST_F(ApiSearchCycle, AFailedApiCheckSaysWhyAndLosesNothing)
{
    struct Case
    {
        const char *phrase;
        const char *secret;
        const char *reason;
    };
    const Case cases[] = {
        {"digital camera", "wrong-secret", "eBay refused the API keys"},
        {"api limit", "lotfinch-fixture-secret", "eBay's daily API limit is reached"},
        {"api server error", "lotfinch-fixture-secret", "eBay's API answered 500"},
        {"api bad request", "lotfinch-fixture-secret", "eBay: The value of the filter is not valid."},
        {"api broken", "lotfinch-fixture-secret", "eBay's API sent an answer that is not the one expected"},
        {"api oversized", "lotfinch-fixture-secret", "eBay's API sent an answer over 8 MiB"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.phrase);
        form->Found.Clear();
        form->Found.AddFoundItem("https://www.ebay.com/itm/110000000001", "Old lens");
        setKeys("lotfinch-fixture-id", c.secret);
        arm(c.phrase, 0);
        const int warned = warnings();
        pass();
        EXPECT_EQ(form->Found.count(), 1);
        EXPECT_EQ(warnings(), warned + 1);
        EXPECT_TRUE(hint().endsWith(QString(": ") + c.reason)) << hint().toStdString();
        // A good check clears the failure for the next case.
        setKeys("lotfinch-fixture-id", "lotfinch-fixture-secret");
        arm("digital camera", 0);
        pass();
        EXPECT_FALSE(hint().contains("Last check failed")) << hint().toStdString();
    }
}

TEST_F(ApiSearchCycle, KeysGoOnlyToHttpsOrLoopbackAndOnlyWhenBothAreSet)
{
    struct Case
    {
        const char *base;
        bool sent;
    };
    const Case cases[] = {
        {"http://www.ebay.com", false},
        {"http://127.0.0.1.example.com", false},
        {"http://localhost", false},
        {"http://127.0.0.1@www.ebay.com", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.base);
        setenv("LOTFINCH_EBAY_API", c.base, 1);
        arm("digital camera", 0);
        pass();
        EXPECT_TRUE(searchRequests().isEmpty()) << searchRequests().join("\n").toStdString();
        EXPECT_TRUE(hint().contains("the eBay API address is neither https nor a loopback address"))
            << hint().toStdString();
    }
    // With one of the two keys only, the page is checked as before.
    setenv("LOTFINCH_EBAY_API", site.proxyUrl().toUtf8().constData(), 1);
    unsetenv("LOTFINCH_EBAY_CLIENT_SECRET");
    pass();
    ASSERT_EQ(searchRequests().size(), 1);
    EXPECT_TRUE(searchRequests()[0].startsWith("GET http://www.ebay.com/")) << searchRequests()[0].toStdString();
}

TEST_F(ApiSearchCycle, StartTakesAnyPhraseWhenEverySiteGoesThroughTheApi)
{
    const QString phrase = QString::fromUtf8("\u6771\u4eac camera");
    form->phraseCombo->setEditText(phrase);
    form->siteCombo->setCurrentIndex(core::AllSitesIndex);
    MessageBoxService::preAnswer(MsgAnswer::OK);
    form->startButton->click();
    EXPECT_FALSE(form->searchArmed) << "uBid is searched on its page";
    EXPECT_EQ(MessageBoxService::answeredQuestions().size(), 1u);

    MessageBoxService::reset();
    form->siteCombo->setCurrentIndex(2);
    form->startButton->click();
    EXPECT_TRUE(MessageBoxService::answeredQuestions().empty());
    ASSERT_TRUE(form->searchArmed);
    ASSERT_TRUE(test::waitUntil([&] { return apiSearches() == 1; }, 30000));
    EXPECT_TRUE(searchRequests().last().contains("?q=%E6%9D%B1%E4%BA%AC%20camera&"))
        << searchRequests().last().toStdString();
    EXPECT_EQ(warnings(), 0);
    // The tray names the phrase as it was typed, not with question marks.
    EXPECT_TRUE(test::waitUntil([&] { return hint().contains("\"" + phrase + "\""); })) << hint().toStdString();
}

TEST_F(ApiSearchCycle, AClickOnTheWarningAboutTheKeysOpensTheEbayAccessWindow)
{
    setKeys("lotfinch-fixture-id", "wrong-secret");
    arm("digital camera", 0);
    pass();
    ASSERT_EQ(warnings(), 1);
    form->balloonClicked();
    ASSERT_TRUE(form->ebayAccessDialog);
    EXPECT_TRUE(form->ebayAccessDialog->isVisible());
    form->ebayAccessDialog->close();
    ASSERT_TRUE(test::waitUntil([&] { return !form->ebayAccessDialog; }));

    // A warning about anything else leaves it closed; the tray menu opens it.
    setKeys("lotfinch-fixture-id", "lotfinch-fixture-secret");
    pass();
    arm("api limit", 0);
    pass();
    ASSERT_EQ(warnings(), 2);
    form->balloonClicked();
    EXPECT_FALSE(form->ebayAccessDialog);
    form->ebayAccessAction->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return form->ebayAccessDialog && form->ebayAccessDialog->isVisible(); }));
}
