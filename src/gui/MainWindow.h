#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/ApiKeySource.h"
#include "core/EbayApiClient.h"
#include "core/FoundItems.h"
#include "core/SearchHistory.h"
#include "core/SiteChecks.h"
#include "core/TextUtils.h"
#include "desktop/ImageList.h"
#include "desktop/SimpleTimer.h"
#include "desktop/TrayIcon.h"
#include "text/LineText.h"
#include "text/StringList.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

namespace lotfinch::desktop {
class SingleInstance;
} // namespace lotfinch::desktop

namespace lotfinch::http {
class HttpComponent;
class ByteStream;
} // namespace lotfinch::http

namespace lotfinch::gui {
class EbayAccessDialog;
class HtmlHint;
class SplashScreen;
class ProgressPopup;
} // namespace lotfinch::gui

namespace lotfinch::gui {

// The program's main window: the search controls, the tray menu, and the
// lists that carry a search's results. It owns everything else.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Controls
    QGroupBox *searchBox;
    QLabel *siteLabel, *phraseLabel, *frequencyLabel;
    QComboBox *siteCombo;
    QComboBox *phraseCombo;
    QComboBox *frequencyCombo;
    QPushButton *startButton;      // Start
    QPushButton *auctionsButton;   // Auctions...
    QPushButton *exitButton;       // Exit
    QPushButton *ebayAccessButton; // eBay Access...: the way to the keys without a tray

    // Tray menu
    QMenu *trayMenu;
    QAction *openAction;
    QMenu *systemMenu;
    QAction *aboutAction, *manualAction;
    QAction *pageSourceAction;
    QAction *foundItemsAction;
    QAction *openSearchAction; // while a refused check stands: the search in the browser
    QAction *ebayAccessAction;
    QAction *exitAction;

    desktop::SingleInstance *singleInstance; // no second copy of the program runs
    desktop::ImageList *menuImages;          // menu images
    desktop::ImageList *trayImages;          // tray images
    desktop::TrayIcon *trayIcon;
    http::HttpComponent *httpComponent;
    core::EbayApiClient *ebayApi; // checks the eBay sites where the user gave API keys
    core::ApiKeySource apiKeySource{platform::KeyStore("Lotfinch")};
    QPointer<gui::EbayAccessDialog> ebayAccessDialog;
    std::unique_ptr<desktop::SimpleTimer> SearchTimer;
    gui::ProgressPopup *progressPopup;
    gui::HtmlHint *htmlHint; // draws every hint of the application
    std::string trayHintTemplate;
    std::string versionText; // the product version named in the tray hint

    // Shared state of the crawler core
    text::LineText pageLines;
    // The phrase box's list, kept in the history file.
    core::SearchHistory History;
    // The found-items list: FoundItems, FoundDescriptions and LatestFoundText.
    core::FoundItemList Found;
    // The sites whose last check failed, told in the tray hint.
    core::SiteChecks Checks;
    // What the found-items window's caption and the tray hint show, in UTF-8.
    std::string linksCaption;
    std::string startedSite;
    std::string startedPhrase;
    bool searchArmed = false; // Start was pressed
    int iconIndex = 8;        // the application icon's entry in trayImages

    // Handlers
    void formCreated();
    void formShown();
    void formHidden();
    void formClosed();
    void formDestroyed();
    void phraseChanged();
    void exitClicked();
    void siteChanged();
    void showFoundItems();
    void restoreFromTray();
    void balloonClicked();
    // Opens the search of the latest check a site refused in the browser,
    // where a person can pass the site's check.
    void openRefusedSearch();
    void phraseDropDown();
    void phraseEditFinished();
    void secondCopyStarted(uint32_t NewAppHandle, const QString &NewCommandLineW);

    // The search cycle
    void startClicked();
    void AnnounceSearch();
    void updateTrayIcon(desktop::TrayIcon *icon);
    std::string DefaultTrayHint() const;
    void searchTimerFired(desktop::SimpleTimer *timer);
    bool SearchSites(int selected);
    void pageFetched(QObject *sender, const std::string &contentType, int64_t fileSize, http::ByteStream *stream);
    // The eBay API keys, from the environment or the keyring. Nothing when
    // there are none, and the sites' pages are checked instead.
    std::optional<core::ApiKeys> apiKeys();
    // Checks one site through the API where it is an eBay site and keys are
    // there; returns whether it did.
    bool checkThroughApi(int site);
    // Whether every site a pass of the selected entry covers goes through the API.
    bool searchesOnlyThroughApi(int selected);

    // Start-up, hints and the menu commands
    // The splash shows this long after each of its five dots; tests shorten it.
    static inline std::chrono::milliseconds SplashDotWait{1850};
    void RunSplash(gui::SplashScreen *splash);
    void buttonMouseMove(QPushButton *button);
    void showAbout();
    void openManual();
    void showPageSource();
    // Opens the eBay Access window, or brings it forward.
    void showEbayAccess();

    // The phrase box's text as 8-bit program text: what a result page is
    // searched for, and what the history keeps.
    std::string SearchText() const;
    // The same in UTF-8, as the tray, the menus and the windows show it.
    std::string ShownPhrase() const;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A handler as a command of the user's that may arrive during a wait.
    std::function<void()> outsideWaits(void (MainWindow::*handler)());
    void createControls();
    void createTrayMenu();
    void createTrayIcon();

    void createSearchObjects();
    // The hint of Start or Auctions..., for the hint window or a screen reader.
    std::string buttonHint(QPushButton *button, core::HintForm form) const;
    // Start's and Auctions...' descriptions follow the phrases their hints name.
    void describeHintButtons();
    // Whether the desktop has a notification area to hide the window into.
    static bool hasTray();
    // Shows the history's phrases in the phrase box's list, keeping the typed text.
    void showHistory();
    // The site entry a selected index stands for: no selection, or one past
    // the real sites, counts as the all-sites entry.
    int siteEntryOf(int selected) const;
    // Sets the tray hint, followed by the line of a failed check if one stands.
    void setTrayHint(const std::string &hint);
    // Notes a failed check of one site, and why; the first failure after
    // good checks raises a warning balloon. A check the site refused offers
    // its search in the browser, from the balloon and the tray menu.
    void noteFailedCheck(int site, std::string_view reason, core::CheckFailure kind = core::CheckFailure::Failed);
    bool balloonAboutKeys_ = false; // the last warning balloon said the keys were refused

    int pagesDelivered_ = 0;      // counts pageFetched's pages: a fetch ended well when it grew
    text::LineText fetchedLines_; // the page just fetched, until it is judged a result page
    bool centred_ = false;
    std::string trayHint_; // the tray hint without the failure line
    QRect keptPlace_;      // where the window was when it was last hidden
    bool closing_ = false;
};

} // namespace lotfinch::gui
