// The keys' round trip through the desktop's keyring: run by
// tests/support/with-keyring, which gives this program a Secret Service
// (gnome-keyring) of its own.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <gtest/gtest.h>

#include "core/ApiKeySource.h"
#include "gui/EbayAccessDialog.h"

using namespace lotfinch;

namespace {

core::ApiKeySource keySource()
{
    return core::ApiKeySource(platform::KeyStore("Lotfinch"));
}

} // namespace

TEST(EbayAccessKeyring, KeysSavedInTheWindowAreReadBackByTheNextRunAndRemoved)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "run through with-keyring";
    unsetenv("LOTFINCH_EBAY_CLIENT_ID");
    unsetenv("LOTFINCH_EBAY_CLIENT_SECRET");
    core::EbayApiClient api;
    {
        core::ApiKeySource keys = keySource();
        gui::EbayAccessDialog dialog(nullptr, keys, api);
        EXPECT_EQ(dialog.statusLabel->text(), "No keys: eBay's result pages are checked.");
        dialog.clientIdEdit->setText("Someone-Lotfinch-PRD-0123456789-abcdef01");
        dialog.clientSecretEdit->setText("PRD-0123456789ab-cdef-0123-4567-89ab");
        dialog.saveButton->click();
        EXPECT_EQ(dialog.statusLabel->text(), "The keys are kept in the desktop's keyring.");
    }
    {
        core::ApiKeySource keys = keySource();
        EXPECT_EQ(keys.Keys(),
                  (core::ApiKeys{"Someone-Lotfinch-PRD-0123456789-abcdef01", "PRD-0123456789ab-cdef-0123-4567-89ab"}));
        gui::EbayAccessDialog dialog(nullptr, keys, api);
        EXPECT_EQ(dialog.clientIdEdit->text(), "Someone-Lotfinch-PRD-0123456789-abcdef01");
        EXPECT_TRUE(dialog.clientSecretEdit->text().isEmpty());
        dialog.removeButton->click();
        EXPECT_EQ(dialog.statusLabel->text(), "The keys are removed.");
    }
    core::ApiKeySource keys = keySource();
    EXPECT_FALSE(keys.Keys());
    EXPECT_FALSE(keys.KeyringUnavailable());
}
