#include "gui/MainWindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>

#include "core/LinkScan.h"
#include "core/Sites.h"
#include "core/TextUtils.h"
#include "core/VersionInfo.h"
#include "desktop/LaunchFile.h"
#include "desktop/SingleInstance.h"
#include "gui/AboutDialog.h"
#include "gui/AccessibleRoles.h"
#include "gui/AppImages.h"
#include "gui/EbayAccessDialog.h"
#include "gui/FoundItemsDialog.h"
#include "gui/HtmlHint.h"
#include "gui/PageSourceDialog.h"
#include "gui/ProgressPopup.h"
#include "gui/ScreenFit.h"
#include "gui/SplashScreen.h"
#include "http/HttpComponent.h"
#include "platform/Application.h"
#include "platform/DesktopSession.h"
#include "platform/IdleMemory.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "text/AnsiText.h"

namespace lotfinch::gui {

using text::fromAnsi;

namespace {

// The phrase box: tells the window when its list is about to open, and when
// the focus moves from it to another control.
class PhraseBox : public QComboBox
{
public:
    using QComboBox::QComboBox;

    std::function<void()> OnDropDown;
    std::function<void()> OnExit;

    void showPopup() override
    {
        if (OnDropDown)
            OnDropDown();
        QComboBox::showPopup();
    }

protected:
    void focusOutEvent(QFocusEvent *event) override
    {
        QComboBox::focusOutEvent(event);
        // The box's own list taking the focus, or another window, does not leave the box.
        const bool listOpen = view()->isVisible() || event->reason() == Qt::PopupFocusReason;
        if (OnExit && !listOpen && event->reason() != Qt::ActiveWindowFocusReason)
            OnExit();
    }
};

} // namespace

MainWindow::MainWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    // A further copy of the program ends here, before anything of it is shown.
    singleInstance = new desktop::SingleInstance(this);
    singleInstance->setMaxNewInstances(0);
    singleInstance->OnNewInstanceLoad = [this](uint32_t handle, const QString &commandLine) {
        platform::RunOutsideWaits(this, [this, handle, commandLine] { secondCopyStarted(handle, commandLine); });
    };
    setObjectName("ApplicationForm");
    gui::SetAccessibleRole(this, QAccessible::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle("Lotfinch Lite 2.0");
    setFixedSize(324, 186);
    RefuseToGrow(this);
    // Workaround: "MS Sans Serif" exists only on Windows; a metric-compatible
    // sans keeps the captions inside their fixed places elsewhere.
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "Arimo"});
    setFont(QFont("MS Sans Serif", 8));

    menuImages = new desktop::ImageList(this);
    trayImages = new desktop::ImageList(this);
    FillMenuImages(*menuImages);
    FillTrayImages(*trayImages);

    createControls();
    createTrayMenu();
    createTrayIcon();
    createSearchObjects();
    formCreated();
}

MainWindow::~MainWindow()
{
    // The phrase box outlives the window's members: it must not call into them.
    auto *phraseBox = static_cast<PhraseBox *>(phraseCombo);
    phraseBox->OnDropDown = nullptr;
    phraseBox->OnExit = nullptr;
    formDestroyed();
}

void MainWindow::createControls()
{
    searchBox = new QGroupBox(" Search the Following Web Site ", this);
    searchBox->setGeometry(19, 20, 287, 111);
    QFont bold = font();
    bold.setBold(true);
    searchBox->setFont(bold);
    // Only the caption is bold; the controls inside keep the window's font.
    QFont plain = font();
    plain.setBold(false);

    auto label = [&](const char *text, int left, int top) {
        auto *l = new QLabel(text, searchBox);
        l->setFont(plain);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    siteLabel = label("Site Name:", 14, 30);
    phraseLabel = label("Look For:", 14, 54);
    frequencyLabel = label("Repeat Search: ", 14, 82);

    auto combo = [&](const char *name, int left, int top, int width, bool editable, QComboBox *c = nullptr) {
        if (!c)
            c = new QComboBox(searchBox);
        c->setObjectName(name);
        c->setFont(plain);
        c->setEditable(editable);
        c->setGeometry(left, top, width, 21);
        return c;
    };
    siteCombo = combo("siteCombo", 72, 26, 200, false);
    for (int i = 0; i < core::SiteCount; ++i)
        siteCombo->addItem(fromAnsi(core::SiteAt(i).listText));
    siteCombo->setCurrentIndex(0);
    connect(siteCombo, &QComboBox::currentIndexChanged, this, [this] { siteChanged(); });

    auto *phraseBox = new PhraseBox(searchBox);
    phraseBox->OnDropDown = [this] { phraseDropDown(); };
    phraseBox->OnExit = [this] {
        try {
            phraseEditFinished();
        } catch (const std::exception &error) {
            platform::showErrorBox(error);
        }
    };
    phraseCombo = combo("phraseCombo", 72, 52, 200, true, phraseBox);
    phraseCombo->setInsertPolicy(QComboBox::NoInsert);
    phraseCombo->setEditText(QString());
    connect(phraseCombo, &QComboBox::editTextChanged, this, [this] {
        phraseChanged();
        describeHintButtons();
    });
    connect(phraseCombo, &QComboBox::activated, this, [this] { phraseChanged(); });

    frequencyCombo = combo("frequencyCombo", 102, 78, 170, false);
    for (int i = 0; i < core::IntervalCount; ++i)
        frequencyCombo->addItem(fromAnsi(core::IntervalAt(i).listText));
    frequencyCombo->setCurrentIndex(0);

    // A screen reader announces each box by its label, not by its value or
    // the group's caption.
    siteLabel->setBuddy(siteCombo);
    phraseLabel->setBuddy(phraseCombo);
    frequencyLabel->setBuddy(frequencyCombo);
    siteCombo->setAccessibleName("Site Name");
    phraseCombo->setAccessibleName("Look For");
    phraseCombo->lineEdit()->setAccessibleName("Look For");
    frequencyCombo->setAccessibleName("Repeat Search");

    auto button = [&](const char *name, const char *caption, int left, Glyph glyph) {
        auto *b = new QPushButton(ButtonGlyph(glyph), caption, this);
        b->setObjectName(name);
        b->setGeometry(left, 142, 90, 35);
        b->setIconSize(QSize(16, 16));
        return b;
    };
    startButton = button("startButton", "&Start", 14, Glyph::Start);
    startButton->setEnabled(false);
    startButton->setProperty("HelpKeyword", "Start searching");
    connect(startButton, &QPushButton::clicked, this, [this] { startClicked(); });
    startButton->setMouseTracking(true);
    startButton->installEventFilter(this);
    auctionsButton = button("auctionsButton", "&Auctions...", 117, Glyph::Auctions);
    auctionsButton->setEnabled(false);
    auctionsButton->setProperty("HelpKeyword", "View all matches found");
    connect(auctionsButton, &QPushButton::clicked, this, [this] { showFoundItems(); });
    auctionsButton->setMouseTracking(true);
    auctionsButton->installEventFilter(this);
    exitButton = button("exitButton", "E&xit", 220, Glyph::Exit);
    exitButton->setDefault(true);
    exitButton->setToolTip("Stop all searching and close the Lotfinch software");
    exitButton->setAccessibleDescription(exitButton->toolTip());
    describeHintButtons();
    connect(exitButton, &QPushButton::clicked, this, [this] { exitClicked(); });
    ebayAccessButton = new QPushButton("e&Bay Access...", this);
    ebayAccessButton->setObjectName("ebayAccessButton");
    ebayAccessButton->setFlat(true);
    ebayAccessButton->setGeometry(206, 1, 100, 18);
    ebayAccessButton->setToolTip("Search eBay through its API with your own keys");
    connect(ebayAccessButton, &QPushButton::clicked, this, [this] { showEbayAccess(); });

    // Alt and a letter is a button's mnemonic, never text: see eventFilter.
    for (QWidget *input : {static_cast<QWidget *>(siteCombo), static_cast<QWidget *>(phraseCombo),
                           static_cast<QWidget *>(phraseCombo->lineEdit()), static_cast<QWidget *>(frequencyCombo)})
        input->installEventFilter(this);

    setTabOrder(siteCombo, frequencyCombo);
    setTabOrder(frequencyCombo, phraseCombo);
    setTabOrder(phraseCombo, startButton);
    setTabOrder(startButton, auctionsButton);
    setTabOrder(auctionsButton, exitButton);
    setTabOrder(exitButton, ebayAccessButton);
}

void MainWindow::createTrayMenu()
{
    trayMenu = new QMenu(this);
    trayMenu->setObjectName("trayMenu");
    openAction = trayMenu->addAction(menuImages->icon(8), "&Open Lotfinch Crawler...");
    trayMenu->setDefaultAction(openAction);
    trayMenu->addSeparator();
    systemMenu = trayMenu->addMenu(menuImages->icon(5), "Lotfinch &System");
    aboutAction = systemMenu->addAction(menuImages->icon(0), "About &Lotfinch...");
    systemMenu->addSeparator();
    manualAction = systemMenu->addAction(menuImages->icon(7), "&Product Manual...");
    trayMenu->addSeparator();
    pageSourceAction = trayMenu->addAction("Show &HTML Source");
    pageSourceAction->setVisible(false);
    foundItemsAction = trayMenu->addAction(menuImages->icon(9), "Links to Found &Items...");
    foundItemsAction->setEnabled(false);
    openSearchAction = trayMenu->addAction("Open in &browser");
    openSearchAction->setVisible(false);
    ebayAccessAction = trayMenu->addAction("e&Bay Access...");
    trayMenu->addSeparator();
    exitAction = trayMenu->addAction(menuImages->icon(3), "E&xit");
    const std::pair<QAction *, void (MainWindow::*)()> commands[] = {
        {openAction, &MainWindow::restoreFromTray},      {aboutAction, &MainWindow::showAbout},
        {manualAction, &MainWindow::openManual},         {pageSourceAction, &MainWindow::showPageSource},
        {foundItemsAction, &MainWindow::showFoundItems}, {openSearchAction, &MainWindow::openRefusedSearch},
        {ebayAccessAction, &MainWindow::showEbayAccess}, {exitAction, &MainWindow::exitClicked}};
    for (auto [action, handler] : commands)
        connect(action, &QAction::triggered, this, outsideWaits(handler));
}

std::function<void()> MainWindow::outsideWaits(void (MainWindow::*handler)())
{
    // A desktop with a StatusNotifier tray delivers the menu, the icon's
    // activation and notification clicks over D-Bus, which the start popup's
    // and the splash's waits answer: a command run there could close the
    // window under them or open a modal window inside them.
    return [this, handler] { platform::RunOutsideWaits(this, [this, handler] { (this->*handler)(); }); };
}

void MainWindow::createTrayIcon()
{
    trayIcon = new desktop::TrayIcon(this);
    trayIcon->setObjectName("trayIcon");
    trayIcon->setIconList(trayImages);
    trayIcon->setCycleInterval(0);
    trayIcon->setHint("Crawl \"site\" once every \"time\" to locate \"\"search\".\"");
    trayIcon->setIcon(trayImages->icon(iconIndex));
    trayIcon->setIconIndex(0);
    trayIcon->setPopupMenu(trayMenu);
    trayIcon->setMinimizeToTray(true);
    trayIcon->OnDblClick = [run = outsideWaits(&MainWindow::restoreFromTray)](QObject *) { run(); };
    trayIcon->OnBalloonHintClick = [run = outsideWaits(&MainWindow::balloonClicked)](QObject *) { run(); };
    trayIcon->OnBalloonHintAction = [run = outsideWaits(&MainWindow::openRefusedSearch)](QObject *) { run(); };
    // A balloon that has gone leaves its window's memory behind, as a pass does.
    trayIcon->OnBalloonHintTimeout = [](QObject *) { platform::ReleaseIdleMemory(); };
    trayIcon->OnBalloonHintHide = trayIcon->OnBalloonHintTimeout;
    trayIcon->Loaded();
}

void MainWindow::createSearchObjects()
{
    httpComponent = new http::HttpComponent(this);
    httpComponent->setObjectName("httpComponent");
    httpComponent->OnDone = [this](QObject *sender, const std::string &type, int64_t size, http::ByteStream *stream) {
        pageFetched(sender, type, size, stream);
    };
    ebayApi = new core::EbayApiClient(this);
    ebayApi->setObjectName("ebayApi");

    htmlHint = new gui::HtmlHint(this);
    htmlHint->setObjectName("htmlHint");
    htmlHint->SetHintStyle(gui::HintStyle::Rounded);
    htmlHint->SetEllipsis(false);
    htmlHint->SetMaxWidth(0);
    htmlHint->SetURLColor(core::HintColor::rgb(0, 0, 0));
    htmlHint->SetXMargin(0);
    htmlHint->SetYMargin(0);
}

void MainWindow::formCreated()
{
    std::unique_ptr<gui::SplashScreen> splash = std::make_unique<gui::SplashScreen>(this);
    SearchTimer = std::make_unique<desktop::SimpleTimer>();
    SearchTimer->setInterval(500);
    SearchTimer->setOnTick([this](desktop::SimpleTimer *timer) { searchTimerFired(timer); });
    RunSplash(splash.get());
    pageLines.clear();
    Found.Clear();
    progressPopup = new gui::ProgressPopup(this);
    linksCaption = core::LinksCaptionFor(core::SiteAt(0).listText);
    trayHintTemplate = trayIcon->Hint();
}

void MainWindow::RunSplash(gui::SplashScreen *splash)
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
    splash->show();
    // Workaround: the window system maps a new window in its own time, and
    // what is painted before that never reaches the screen; so the splash is
    // let onto the screen before the waits.
    if (QWindow *window = splash->windowHandle())
        platform::WaitAnsweringWindowSystem(QDeadlineTimer(2000), [window] { return window->isExposed(); });
    splash->repaint();
    for (int dot = 0; dot < 5; ++dot) {
        splash->initLabel->setText(splash->initLabel->text() + ".");
        splash->initLabel->adjustSize();
        platform::WaitAnsweringWindowSystem(QDeadlineTimer(SplashDotWait));
        splash->repaint();
    }
    splash->hide();
    // A program file without readable version information still starts; its
    // tray hint just names no version.
    try {
        versionText = splash->versionInfo->ProductVersion();
    } catch (const core::VersionInfoError &) {
        versionText.clear();
    }
    QApplication::restoreOverrideCursor();
}

// In UTF-8: the phrase as typed, also one beyond Windows-1252 where only the
// eBay API is searched.
std::string MainWindow::buttonHint(QPushButton *button, core::HintForm form) const
{
    const std::string phrase = button == auctionsButton ? startedPhrase : ShownPhrase();
    return core::ButtonHint(button->property("HelpKeyword").toString().toStdString(), phrase, form);
}

void MainWindow::buttonMouseMove(QPushButton *button)
{
    button->setToolTip(button->isEnabled() ? QString::fromStdString(buttonHint(button, core::HintForm::Markup))
                                           : QString());
}

void MainWindow::describeHintButtons()
{
    for (QPushButton *button : {startButton, auctionsButton})
        button->setAccessibleDescription(QString::fromStdString(buttonHint(button, core::HintForm::Plain)));
}

void MainWindow::showAbout()
{
    QPointer<gui::AboutDialog> box = new gui::AboutDialog(this, trayImages);
    box->exec();
    delete box;
}

void MainWindow::openManual()
{
    QFileInfo manual(core::ShippedDocumentFile("manual.pdf"));
    if (manual.isFile())
        desktop::LaunchFile(text::toAnsi(manual.fileName()), std::string(), text::toAnsi(manual.absolutePath()),
                            desktop::SW_SHOWNORMAL);
}

void MainWindow::showPageSource()
{
    QPointer<gui::PageSourceDialog> form = new gui::PageSourceDialog(this);
    form->SetLines(pageLines);
    form->exec();
    delete form;
}

void MainWindow::formShown()
{
    QApplication::setWindowIcon(trayImages->icon(iconIndex));
    auctionsButton->setEnabled(!Found.empty());
    // Without a notification area the icon only carries the balloons to the
    // desktop's notification service: it stays, or no FOUND would be told.
    if (hasTray())
        trayIcon->setIconVisible(false);
}

void MainWindow::formHidden()
{
    updateTrayIcon(trayIcon);
}

void MainWindow::formClosed()
{
    progressPopup->close();
    SearchTimer->setEnabled(false);
    // A pass waiting for a page ends with the window: dropping the HTTP
    // component abandons its transfer and lets the wait return at once.
    delete httpComponent;
    httpComponent = nullptr;
    delete ebayAccessDialog;
    delete ebayApi;
    ebayApi = nullptr;
}

void MainWindow::formDestroyed()
{
    SearchTimer.reset();
    pageLines.clear();
    Found.Clear();
}

void MainWindow::startClicked()
{
    // The sites are searched in Windows-1252: a phrase beyond it would be
    // searched with question marks in place of its letters.
    const QStringList outside = text::charactersOutsideAnsi(phraseCombo->currentText());
    if (!outside.isEmpty() && !searchesOnlyThroughApi(siteCombo->currentIndex())) {
        platform::MsgQuestion question{this,
                                       "These characters cannot be searched for: " + outside.join(' ').toStdString(),
                                       "PHRASE NOT SEARCHABLE", platform::MsgIcon::Warning, platform::MsgButtons::OK};
        question.unicode = true;
        platform::MessageBoxService::ask(question);
        return;
    }
    searchArmed = true;
    if (!Found.empty()) {
        auto answer = platform::MessageBoxService::ask(this, "Clear existing search results.", "RESULTS IN STORAGE",
                                                       platform::MsgIcon::Warning, platform::MsgButtons::YesNo);
        if (answer == platform::MsgAnswer::Yes) {
            foundItemsAction->setEnabled(false);
            siteChanged();
            Found.Clear();
            if (!hasTray())
                auctionsButton->setEnabled(false);
        }
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor
    {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restoreCursor;
    SearchTimer->setInterval(3000);
    startedPhrase = ShownPhrase();
    startedSite = siteCombo->currentText().toStdString();
    describeHintButtons();
    AnnounceSearch();
}

bool MainWindow::hasTray()
{
    return platform::TrayShell::instance().available();
}

void MainWindow::AnnounceSearch()
{
    if (hasTray()) {
        hide();
    } else {
        // Without a notification area the window would be out of reach once
        // hidden: it goes to the taskbar instead, and the search is armed the same.
        updateTrayIcon(trayIcon);
        showMinimized();
    }
    progressPopup->ShowStatus(
        3000, core::FormatText("Crawling %s for \"%s\"", {siteCombo->currentText().toStdString(), ShownPhrase()}),
        true);
}

void MainWindow::updateTrayIcon(desktop::TrayIcon *icon)
{
    setTrayHint(DefaultTrayHint());
    icon->setIconVisible(true);
    if (!searchArmed)
        return;
    try {
        std::string phrase = ShownPhrase();
        pageSourceAction->setText(QString::fromStdString(core::FormatText("Starting Search for %s...", {phrase})));
        std::string hint = trayHintTemplate;
        hint = core::ReplaceAllText(hint, "\"site\"", core::SiteAt(siteEntryOf(siteCombo->currentIndex())).shortName);
        hint = core::ReplaceAllText(hint, "\"time\"", core::IntervalAt(frequencyCombo->currentIndex()).hintWord);
        hint = core::ReplaceAllText(hint, "\"search\"", phrase);
        setTrayHint(hint);
        SearchTimer->setEnabled(true);
    } catch (const std::exception &) {
        SearchTimer->setEnabled(false);
    }
}

std::string MainWindow::DefaultTrayHint() const
{
    if (Found.empty())
        return core::FormatText("Lotfinch (Desktop) %s from Pellory", {versionText});
    return core::FormatText("STILL crawling %s for \"%s\".", {startedSite, startedPhrase});
}

void MainWindow::searchTimerFired(desktop::SimpleTimer *)
{
    if (progressPopup->isVisible())
        progressPopup->hide();
    if (!SearchTimer->Enabled())
        return;
    // Passes never overlap: Qt holds back the search timer's ticks while this
    // handler waits for pages, so a slow pass runs to its end and the next
    // one follows the interval set below.
    QPointer<MainWindow> self(this);
    bool found = SearchSites(siteCombo->currentIndex());
    if (!self || closing_)
        return;
    foundItemsAction->setEnabled(found);
    // Without a tray the window is the way to the found items, whether or
    // not the desktop minimised it.
    if (!hasTray())
        auctionsButton->setEnabled(found);
    SearchTimer->setInterval(static_cast<int>(core::IntervalMilliseconds(frequencyCombo->currentIndex())));
    // The program now waits in the tray until the next pass.
    platform::ReleaseIdleMemory();
}

bool MainWindow::SearchSites(int selected)
{
    const int entryIndex = siteEntryOf(selected);
    const core::Site &entry = core::SiteAt(entryIndex);
    bool found = !Found.empty();
    // The wait for a page runs the event loop: the user may close the window
    // meanwhile, which ends the pass.
    QPointer<MainWindow> self(this);
    const std::vector<int> sites = core::SitesOfPass(selected, siteCombo->count());
    Checks.KeepOnly(sites);
    for (int site : sites) {
        if (closing_)
            break;
        const bool throughApi = checkThroughApi(site);
        if (!self || closing_)
            return false;
        // The box may have changed since Start; a phrase that Start would
        // refuse is not searched with question marks in place of its letters,
        // and the tooltip keeps naming the last phrase searched.
        const QStringList outside = text::charactersOutsideAnsi(phraseCombo->currentText());
        if (!throughApi && !outside.isEmpty()) {
            noteFailedCheck(site, core::UnsearchableReason(outside));
            setTrayHint(trayHint_);
            continue;
        }
        if (!throughApi) {
            httpComponent->setURL(core::SearchAddress(site, SearchText()));
            // Passes do not overlap, so the component is not busy here; were it
            // so, its refusal would be no check of the site, nor a failed one.
            const bool busy = httpComponent->Busy();
            const int delivered = pagesDelivered_;
            const auto started = std::chrono::steady_clock::now();
            httpComponent->Read(true);
            if (!self || closing_)
                return false;
            // Only a page fetched now is judged and scanned: the page before
            // stands for nothing this check found. A page that is no result page
            // leaves the last good check's page lines as they were.
            const bool fetched = pagesDelivered_ != delivered;
            if (fetched || !busy) {
                auto elapsed =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
                const core::CheckVerdict verdict =
                    core::JudgeCheck(site, core::OutcomeOf(*httpComponent, static_cast<int>(elapsed.count())),
                                     fetched ? std::optional(fetchedLines_.text()) : std::nullopt, Found.Rules());
                if (verdict.good) {
                    pageLines = std::move(fetchedLines_);
                    Checks.Succeeded(site);
                    if (core::ExtractLinks(pageLines, Found) > 0)
                        trayIcon->ShowBalloon(core::FoundBalloonTitle, core::FoundBalloonText(startedPhrase),
                                              desktop::BalloonIconKind::Info, core::FoundBalloonSeconds);
                } else {
                    noteFailedCheck(site, verdict.reason, verdict.kind);
                }
                fetchedLines_.clear();
            }
        }
        found = !Found.empty();
        const std::string phrase = ShownPhrase();
        if (found) {
            const char *shortName = core::SiteAt(site).shortName;
            const char *siteName = Found.AnyItemContains(shortName) ? shortName : entry.shortName;
            setTrayHint(core::FormatText("FOUND matches for \"%s\" on %s.", {phrase, siteName}));
            trayIcon->setIconIndex(entryIndex + 1);
            foundItemsAction->setText(QString::fromStdString(core::FormatText("&Links to \"%s\"...", {phrase})));
        } else {
            if (searchArmed)
                setTrayHint(core::FormatText("STILL crawling %s for \"%s\".", {entry.shortName, phrase}));
            trayIcon->setIconIndex(0);
        }
    }
    return found;
}

std::optional<core::ApiKeys> MainWindow::apiKeys()
{
    return apiKeySource.Keys();
}

void MainWindow::showEbayAccess()
{
    if (!ebayApi)
        return;
    if (!ebayAccessDialog) {
        ebayAccessDialog = new gui::EbayAccessDialog(this, apiKeySource, *ebayApi);
        ebayAccessDialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    ebayAccessDialog->show();
    ebayAccessDialog->raise();
    ebayAccessDialog->activateWindow();
}

bool MainWindow::searchesOnlyThroughApi(int selected)
{
    const std::vector<int> sites = core::SitesOfPass(selected, siteCombo->count());
    return std::all_of(sites.begin(), sites.end(), core::IsApiSite) && apiKeys();
}

bool MainWindow::checkThroughApi(int site)
{
    if (!core::IsApiSite(site) || !ebayApi)
        return false;
    const std::optional<core::ApiKeys> keys = apiKeys();
    if (!keys)
        return false;
    QPointer<MainWindow> self(this);
    ebayApi->setBase(core::ApiBaseFromEnvironment());
    const core::ApiResult result = ebayApi->Search(*keys, site, ShownPhrase());
    if (!self || closing_ || (!result.ok && result.reason.empty()))
        return true;
    if (!result.ok) {
        const bool balloon = Checks.LatestFailureLine().empty();
        noteFailedCheck(site, result.reason);
        if (balloon)
            balloonAboutKeys_ = result.keysRefused;
        return true;
    }
    Checks.Succeeded(site);
    // eBay lists the newest first; the found list puts each new item on top.
    int added = 0;
    for (auto item = result.items.rbegin(); item != result.items.rend(); ++item)
        added += Found.AddFoundItem(core::ApiItemLink(site, item->itemNumber), item->title);
    if (added > 0) {
        balloonAboutKeys_ = false;
        trayIcon->ShowBalloon(core::FoundBalloonTitle, core::FoundBalloonText(startedPhrase),
                              desktop::BalloonIconKind::Info, core::FoundBalloonSeconds);
    }
    return true;
}

void MainWindow::noteFailedCheck(int site, std::string_view reason, core::CheckFailure kind)
{
    std::string line = core::FailureLine(QTime::currentTime(), text::ansiToUtf8(Found.separators().time), reason);
    const bool refused = kind == core::CheckFailure::Refused;
    if (Checks.Failed(site, line, refused ? core::SearchAddress(site, SearchText()) : std::string()))
        trayIcon->ShowBalloon(core::CheckFailedBalloonTitle, core::CheckFailedBalloonText(line, kind),
                              desktop::BalloonIconKind::Warning, core::FoundBalloonSeconds,
                              refused ? "Open in browser" : "");
}

void MainWindow::setTrayHint(const std::string &hint)
{
    trayHint_ = hint;
    trayIcon->setHint(core::HintWithFailureLine(hint, Checks.LatestFailureLine()));
    // The menu follows the failures the hint tells of.
    openSearchAction->setVisible(!Checks.RefusedSearch().empty());
}

void MainWindow::openRefusedSearch()
{
    const std::string address = Checks.RefusedSearch();
    if (!address.empty() && !platform::Shell::current().open(address))
        platform::showErrorBox(std::runtime_error("Searching for alternate browser."));
}

void MainWindow::pageFetched(QObject *, const std::string &, int64_t, http::ByteStream *stream)
{
    if (!stream)
        return;
    core::SetPageLines(fetchedLines_, stream->ReadAll());
    ++pagesDelivered_;
}

int MainWindow::siteEntryOf(int selected) const
{
    return selected >= 0 && selected < siteCombo->count() - 1 ? selected : core::AllSitesIndex;
}

void MainWindow::phraseChanged()
{
    startButton->setEnabled(!phraseCombo->currentText().isEmpty());
}

void MainWindow::exitClicked()
{
    if (isVisible() && !Found.empty()) {
        auto answer =
            platform::MessageBoxService::ask(this, "All search crawling will stop when closed.", "CLOSE APPLICATION",
                                             platform::MsgIcon::Warning, platform::MsgButtons::OKCancel);
        if (answer != platform::MsgAnswer::OK)
            return;
    }
    close();
}

void MainWindow::siteChanged()
{
    linksCaption = core::SiteChangeCaption(siteCombo->currentIndex(), !Found.empty());
}

void MainWindow::showFoundItems()
{
    if (Found.empty())
        return;
    QPointer<gui::FoundItemsDialog> form = new gui::FoundItemsDialog(this, trayImages);
    form->SetItems(Found.FoundItems(), Found.FoundDescriptions());
    form->latestLabel->setText(QString::fromStdString(Found.LatestFoundText()));
    form->countLabel->setText(QString("%1 Items Found").arg(Found.count()));
    // An empty phrase counts as not contained, so it adds "" too.
    std::string phrase = ShownPhrase();
    if (phrase.empty() || linksCaption.find(phrase) == std::string::npos)
        linksCaption += "\"" + phrase + "\" ";
    form->setWindowTitle(QString::fromStdString(linksCaption));
    form->exec();
    delete form;
}

void MainWindow::restoreFromTray()
{
    if (isVisible()) {
        if (isMinimized())
            showNormal();
        activateWindow();
    } else {
        show();
    }
}

void MainWindow::balloonClicked()
{
    if (balloonAboutKeys_) {
        balloonAboutKeys_ = false;
        showEbayAccess();
        return;
    }
    // With a tray the found items are in its menu; without one, a click on
    // the notification opens them.
    if (hasTray() || Found.empty())
        return;
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    // The found items open at once, on their own while this window is put
    // away (a window that belongs to a minimised one stays hidden with it);
    // this one comes back behind them where the desktop lets the program
    // bring it back, which Qt on Wayland cannot.
    QTimer::singleShot(0, this, [this] { restoreFromTray(); });
    showFoundItems();
}

void MainWindow::phraseDropDown()
{
    History.DropDown();
    showHistory();
}

void MainWindow::phraseEditFinished()
{
    // The list shows a new phrase even when the file could not be written.
    struct ShowHistory
    {
        MainWindow *form;
        ~ShowHistory() { form->showHistory(); }
    } show{this};
    // The file holds Windows-1252: a phrase that Start refuses would be kept
    // with question marks in place of its letters.
    if (text::charactersOutsideAnsi(phraseCombo->currentText()).isEmpty())
        History.Enter(SearchText());
}

void MainWindow::showHistory()
{
    const text::StringList &phrases = History.Phrases();
    bool same = phraseCombo->count() == phrases.count();
    for (int i = 0; same && i < phrases.count(); ++i)
        same = phraseCombo->itemText(i) == fromAnsi(phrases[i]);
    if (same)
        return;
    const QString text = phraseCombo->currentText();
    QSignalBlocker quiet(phraseCombo);
    phraseCombo->clear();
    for (const std::string &phrase : phrases.lines())
        phraseCombo->addItem(fromAnsi(phrase));
    phraseCombo->setCurrentIndex(-1);
    phraseCombo->setEditText(text);
}

void MainWindow::secondCopyStarted(uint32_t, const QString &NewCommandLineW)
{
    const int count = desktop::CommandLineArgCount(NewCommandLineW);
    QString lines;
    for (int i = 1; i < count; ++i)
        lines += "\r\n" + desktop::CommandLineArg(NewCommandLineW, i);
    const QString text = QString::asprintf("NewInstanceLoad with %.2d parameter(s):", count - 1) + "\r\n" + lines;
    platform::MsgQuestion question{this, text.toStdString(), "Information", platform::MsgIcon::Information,
                                   platform::MsgButtons::OK};
    question.unicode = true;
    platform::MessageBoxService::ask(question);
}

std::string MainWindow::SearchText() const
{
    return text::toAnsi(phraseCombo->currentText());
}

std::string MainWindow::ShownPhrase() const
{
    return phraseCombo->currentText().toStdString();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (!centred_) {
        centred_ = true;
        if (QScreen *screen = QApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    } else if (keptPlace_.isValid()) {
        // Workaround: an X11 window manager that takes a hidden window out of
        // its frame reports the frame's place as the window's, and Qt would
        // show the window there, one title bar higher each time.
        setGeometry(keptPlace_);
    }
    formShown();
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // Workaround: Qt on Wayland is never told that the desktop restored a
        // minimised window; one the user works in is not minimised (and the
        // next minimise is a change again).
        if (isMinimized())
            setWindowState(windowState() & ~Qt::WindowMinimized);
        if (!hasTray())
            auctionsButton->setEnabled(!Found.empty());
    }
    // Without a notification area Start minimises the window; restoring it
    // from the taskbar shows it without a show of the program's own, so it
    // is made ready here as a show would make it.
    if (event->type() == QEvent::WindowStateChange && isVisible() && !isMinimized() &&
        (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized))
        formShown();
}

void MainWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    keptPlace_ = geometry();
    // A closing window goes for good: it does not move into the tray.
    if (!event->spontaneous() && !closing_)
        formHidden();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    formClosed();
    event->accept();
    closing_ = true;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The mnemonic of a disabled button reaches the focused box as a plain
    // key press, which would type its letter or pick a list entry by it.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers chord = key->modifiers() & (Qt::AltModifier | Qt::ControlModifier);
        if (chord == Qt::AltModifier && !key->text().isEmpty())
            return true;
    }
    if (event->type() == QEvent::MouseMove && (watched == startButton || watched == auctionsButton))
        buttonMouseMove(static_cast<QPushButton *>(watched));
    return QWidget::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // Enter activates the focused button, otherwise the default button (Exit).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()); focused && focused->isEnabled())
            focused->click();
        else
            exitButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace lotfinch::gui
