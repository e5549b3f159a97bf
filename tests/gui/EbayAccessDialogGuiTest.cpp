#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <gtest/gtest.h>

#include "core/ApiKeySource.h"
#include "gui/EbayAccessDialog.h"
#include "support/FixtureSite.h"

using namespace lotfinch;

namespace {

// The eBay Access window where no keyring answers: this test's session bus
// address leads nowhere.
class EbayAccessWithoutKeyring : public testing::Test
{
protected:
    void SetUp() override
    {
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lotfinch-test-bus", 1);
        unsetenv("LOTFINCH_EBAY_CLIENT_ID");
        unsetenv("LOTFINCH_EBAY_CLIENT_SECRET");
        ASSERT_TRUE(site.started());
        setenv("LOTFINCH_EBAY_API", site.proxyUrl().toUtf8().constData(), 1);
    }
    void TearDown() override { unsetenv("LOTFINCH_EBAY_API"); }

    test::FixtureSite site;
    core::ApiKeySource keys{platform::KeyStore("LotfinchTest", std::chrono::seconds(5))};
    core::EbayApiClient api;
};

} // namespace

TEST_F(EbayAccessWithoutKeyring, KeysAreKeptForThisRunAndSaySo)
{
    gui::EbayAccessDialog dialog(nullptr, keys, api);
    EXPECT_EQ(dialog.windowTitle(), "eBay Access");
    EXPECT_TRUE(dialog.howToLabel->text().contains("account-deletion notifications"));
    EXPECT_EQ(dialog.statusLabel->text(), "No keyring answers: keys entered here are kept for this run only.");
    EXPECT_FALSE(dialog.testButton->isEnabled());

    dialog.clientIdEdit->setText("lotfinch-fixture-id");
    dialog.clientSecretEdit->setText("with blank");
    dialog.saveButton->click();
    EXPECT_EQ(dialog.statusLabel->text(), "Enter the client ID and the client secret, without blanks.");
    EXPECT_FALSE(keys.Keys());

    dialog.clientSecretEdit->setText(" lotfinch-fixture-secret ");
    dialog.saveButton->click();
    EXPECT_EQ(dialog.statusLabel->text(), "No keyring answers: the keys are kept for this run only.");
    EXPECT_EQ(keys.Keys(), (core::ApiKeys{"lotfinch-fixture-id", "lotfinch-fixture-secret"}));
    EXPECT_TRUE(dialog.clientSecretEdit->text().isEmpty()) << "the secret is never shown";

    dialog.testButton->click();
    EXPECT_EQ(dialog.statusLabel->text(), "eBay accepted the keys.");
    // A new client ID alone keeps the secret; eBay refuses that pair.
    dialog.clientIdEdit->setText("someone-else");
    dialog.saveButton->click();
    dialog.testButton->click();
    EXPECT_EQ(dialog.statusLabel->text(), "eBay refused the API keys");

    dialog.removeButton->click();
    EXPECT_FALSE(keys.Keys());
    EXPECT_TRUE(dialog.clientIdEdit->text().isEmpty());
    EXPECT_FALSE(dialog.removeButton->isEnabled());
}

TEST_F(EbayAccessWithoutKeyring, KeysFromTheEnvironmentCannotBeChangedHere)
{
    setenv("LOTFINCH_EBAY_CLIENT_ID", "env-id", 1);
    setenv("LOTFINCH_EBAY_CLIENT_SECRET", "env-secret", 1);
    gui::EbayAccessDialog dialog(nullptr, keys, api);
    EXPECT_EQ(dialog.statusLabel->text(),
              "The keys come from LOTFINCH_EBAY_CLIENT_ID and LOTFINCH_EBAY_CLIENT_SECRET.");
    EXPECT_EQ(dialog.clientIdEdit->text(), "env-id");
    EXPECT_TRUE(dialog.clientSecretEdit->text().isEmpty());
    EXPECT_FALSE(dialog.saveButton->isEnabled());
    EXPECT_FALSE(dialog.removeButton->isEnabled());
    EXPECT_FALSE(keys.KeyringUnavailable()) << "the keyring is not asked";
    unsetenv("LOTFINCH_EBAY_CLIENT_ID");
    unsetenv("LOTFINCH_EBAY_CLIENT_SECRET");
}
