#pragma once

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

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
class TOneInstance;
} // namespace lotfinch::desktop

namespace lotfinch::http {
class TauHTTP;
class TStream;
} // namespace lotfinch::http

namespace lotfinch::gui {
class THTMLHint;
class TSplashForm;
class TUpdateUsForm;
} // namespace lotfinch::gui

namespace lotfinch::gui {

// The program's main window: the search controls, the tray menu, and the
// lists that carry a search's results. It owns everything else.
class TApplicationForm : public QWidget
{
    Q_OBJECT
public:
    explicit TApplicationForm(QWidget *parent = nullptr);
    ~TApplicationForm() override;

    // Controls
    QGroupBox *GroupBox1;
    QLabel *Label1, *Label2, *Label3;
    QComboBox *ComboAuctionSite;
    QComboBox *comboSearchString;
    QComboBox *ComboSearchFrequency;
    QPushButton *BitBtn1; // Start
    QPushButton *BitBtn3; // Auctions...
    QPushButton *BitBtn2; // Exit

    // Tray menu
    QMenu *PopupMenu1;
    QAction *Restore1;
    QMenu *LotfinchHelp1;
    QAction *AboutLotfinch1, *ProductManual1;
    QAction *ShowHTMLSource1;
    QAction *ShowFoundLinks1;
    QAction *Exit1;

    desktop::TOneInstance *OneInstance1; // no second copy of the program runs
    desktop::ImageList *ImageList1;      // menu images
    desktop::ImageList *ImageList2;      // tray images
    desktop::TCoolTrayIcon *CoolTrayIcon1;
    http::TauHTTP *auHTTP1;
    std::unique_ptr<desktop::TSimpleTimer> SearchTimer;
    gui::TUpdateUsForm *ProgressPopup;
    gui::THTMLHint *HTMLHint1; // draws every hint of the application
    std::string TrayHintTemplate;
    std::string VersionText; // the product version named in the tray hint

    // Shared state of the crawler core
    text::LineText PageLines;
    // The phrase box's list, kept in the history file.
    core::TSearchHistory History;
    // The found-items list: FoundItems, FoundDescriptions and LatestFoundText.
    core::FoundItemList Found;
    // The sites whose last check failed, told in the tray hint.
    core::SiteChecks Checks;
    std::string LinksCaption;
    std::string StartedSite;
    std::string StartedPhrase;
    int BitBtn1Tag = 0; // 1 once Start was pressed: the search is armed
    int Tag = 8;        // the application icon's entry in ImageList2

    // Handlers
    void FormCreate();
    void FormShow();
    void FormHide();
    void FormClose();
    void FormDestroy();
    void SearchTextChange();
    void BitBtn2Click();
    void ComboAuctionSiteChange();
    void ShowFoundLinks1Click();
    void TrayDoubleClick();
    void CoolTrayIcon1BalloonHintClick();
    void comboSearchStringDropDown();
    void comboSearchStringExit();
    void OneInstance1NewInstanceLoad(uint32_t NewAppHandle, const QString &NewCommandLineW);

    // The search cycle
    void BitBtn1Click();
    void AnnounceSearch();
    void IconTrayUpdate(desktop::TCoolTrayIcon *icon);
    std::string DefaultTrayHint() const;
    void TimerEvent(desktop::TSimpleTimer *timer);
    bool SearchSites(int selected);
    void auHTTP1Done(QObject *sender, const std::string &contentType, int64_t fileSize, http::TStream *stream);

    // Start-up, hints and the menu commands
    // The splash shows this long after each of its five dots; tests shorten it.
    static inline std::chrono::milliseconds SplashDotWait{1850};
    void RunSplash(gui::TSplashForm *splash);
    void BitBtnMouseMove(QPushButton *button);
    void AboutLotfinch1Click();
    void ProductManual1Click();
    void ShowHTMLSource1Click();

    // The phrase box's text as 8-bit program text.
    std::string SearchText() const;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A handler as a command of the user's that may arrive during a wait.
    std::function<void()> outsideWaits(void (TApplicationForm::*handler)());
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
    // Notes a check of one site that delivered no page, and why; the first
    // failure after good checks raises a warning balloon.
    void noteFailedCheck(int site, std::string_view reason);

    int pagesDelivered_ = 0; // counts auHTTP1Done's pages: a fetch ended well when it grew
    bool centred_ = false;
    std::string trayHint_; // the tray hint without the failure line
    QRect keptPlace_;      // where the window was when it was last hidden
    bool closing_ = false;
};

} // namespace lotfinch::gui
