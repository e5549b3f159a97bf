#include <gtest/gtest.h>

#include "support/Desktop.h"
#include "support/FixtureSite.h"
#include "support/LotfinchProgram.h"
#include "support/SessionBus.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::waitUntil;

namespace {

// The real program on a desktop without a tray (run-e2e's "none" desktop),
// with API keys in its environment: the fixture site answers as eBay's API
// on loopback, and as its result pages through the proxy.
class EbayApi : public testing::Test
{
protected:
    void start(const QString &secret)
    {
        ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
        program = std::make_unique<LotfinchProgram>(
            site.proxyUrl(),
            std::vector<std::pair<QString, QString>>{{"LOTFINCH_EBAY_CLIENT_ID", "lotfinch-fixture-id"},
                                                     {"LOTFINCH_EBAY_CLIENT_SECRET", secret},
                                                     {"LOTFINCH_EBAY_API", site.proxyUrl()}});
        ASSERT_TRUE(program->started());
        ASSERT_NE(program->waitForMainWindow(), 0u) << program->output().toStdString();
        ASSERT_TRUE(notifications.started()) << notifications.output().toStdString();
        program->startSearch("digital camera");
    }
    bool askedForAPage() const { return site.requestLines().filter("GET http://").size() > 0; }

    lotfinch::test::FixtureSite site;
    NotificationMonitor notifications;
    std::unique_ptr<LotfinchProgram> program;
};

} // namespace

TEST_F(EbayApi, KeysInTheEnvironmentFindItemsThroughTheApi)
{
    ASSERT_NO_FATAL_FAILURE(start("lotfinch-fixture-secret"));
    ASSERT_NO_FATAL_FAILURE(expectFoundNotification(notifications, *program));
    const QStringList requests = site.requestLines();
    EXPECT_EQ(requests.filter("POST /identity/v1/oauth2/token ").size(), 1) << requests.join("\n").toStdString();
    EXPECT_EQ(requests.filter("GET /buy/browse/v1/item_summary/search?q=digital%20camera&").size(), 1);
    EXPECT_FALSE(askedForAPage()) << requests.join("\n").toStdString();
}

TEST_F(EbayApi, KeysEbayRefusesGetACheckFailedNotificationNamingThem)
{
    ASSERT_NO_FATAL_FAILURE(start("not-the-secret"));
    EXPECT_TRUE(waitUntil([&] { return notifications.output().contains("string \"CHECK FAILED\""); }, 60000))
        << notifications.output().toStdString() << program->output().toStdString();
    EXPECT_TRUE(notifications.output().contains("eBay refused the API keys")) << notifications.output().toStdString();
    EXPECT_FALSE(notifications.output().contains("string \"FOUND\""));
    EXPECT_FALSE(askedForAPage());

    // A click on it opens the eBay Access window, though the main window is minimised.
    // This notification daemon shows the click on a notification as its "Open" button.
    // The daemon may still show an earlier test's notification: this one's
    // button is the one below its title.
    QRect open;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QString shot = screenshot("check-failed");
            const QRect title = findText(QRect(0, 0, 1024, 768), "CHECK FAILED", shot);
            return !title.isEmpty() &&
                   !(open = findText(QRect(title.left(), title.top(), 1024 - title.left(), 120), "Open", shot))
                        .isEmpty();
        },
        30000));
    click(open.center(), 1);
    EXPECT_TRUE(waitUntil([&] { return !visibleWindows(program->pid(), "eBay Access").empty(); }, 30000))
        << screenshot("ebay-access-after-click").toStdString();
    screenshot("ebay-access");
}
