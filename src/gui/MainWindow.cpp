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
#include <functional>

#include "core/LinkScan.h"
#include "core/Sites.h"
#include "core/TextUtils.h"
#include "core/VersionInfo.h"
#include "desktop/LaunchFile.h"
#include "desktop/SingleInstance.h"
#include "gui/AboutDialog.h"
#include "gui/AccessibleRoles.h"
#include "gui/AppImages.h"
#include "gui/FoundItemsDialog.h"
#include "gui/HtmlHint.h"
#include "gui/PageSourceDialog.h"
#include "gui/ProgressPopup.h"
#include "gui/SplashScreen.h"
#include "http/HttpComponent.h"
#include "platform/Application.h"
#include "platform/DesktopSession.h"
#include "platform/IdleMemory.h"
#include "platform/MessageBox.h"
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

TApplicationForm::TApplicationForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    // A further copy of the program ends here, before anything of it is shown.
    OneInstance1 = new desktop::TOneInstance(this);
    OneInstance1->setMaxNewInstances(0);
    OneInstance1->OnNewInstanceLoad = [this](uint32_t handle, const QString &commandLine) {
        platform::RunOutsideWaits(this,
                                  [this, handle, commandLine] { OneInstance1NewInstanceLoad(handle, commandLine); });
    };
    setObjectName("ApplicationForm");
    gui::SetAccessibleRole(this, QAccessible::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle("Lotfinch Lite 2.0");
    setFixedSize(324, 186);
    // Workaround: "MS Sans Serif" exists only on Windows; a metric-compatible
    // sans keeps the captions inside their fixed places elsewhere.
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "Arimo"});
    setFont(QFont("MS Sans Serif", 8));

    ImageList1 = new desktop::ImageList(this);
    ImageList2 = new desktop::ImageList(this);
    FillMenuImages(*ImageList1);
    FillTrayImages(*ImageList2);

    createControls();
    createTrayMenu();
    createTrayIcon();
    createSearchObjects();
    FormCreate();
}

TApplicationForm::~TApplicationForm()
{
    // The phrase box outlives the window's members: it must not call into them.
    auto *phraseBox = static_cast<PhraseBox *>(comboSearchString);
    phraseBox->OnDropDown = nullptr;
    phraseBox->OnExit = nullptr;
    FormDestroy();
}

void TApplicationForm::createControls()
{
    GroupBox1 = new QGroupBox(" Search the Following Web Site ", this);
    GroupBox1->setGeometry(19, 20, 287, 111);
    QFont bold = font();
    bold.setBold(true);
    GroupBox1->setFont(bold);
    // Only the caption is bold; the controls inside keep the window's font.
    QFont plain = font();
    plain.setBold(false);

    auto label = [&](const char *text, int left, int top) {
        auto *l = new QLabel(text, GroupBox1);
        l->setFont(plain);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    Label1 = label("Site Name:", 14, 30);
    Label2 = label("Look For:", 14, 54);
    Label3 = label("Repeat Search: ", 14, 82);

    auto combo = [&](const char *name, int left, int top, int width, bool editable, QComboBox *c = nullptr) {
        if (!c)
            c = new QComboBox(GroupBox1);
        c->setObjectName(name);
        c->setFont(plain);
        c->setEditable(editable);
        c->setGeometry(left, top, width, 21);
        return c;
    };
    ComboAuctionSite = combo("ComboAuctionSite", 72, 26, 200, false);
    for (int i = 0; i < core::SiteCount; ++i)
        ComboAuctionSite->addItem(fromAnsi(core::SiteAt(i).listText));
    ComboAuctionSite->setCurrentIndex(0);
    connect(ComboAuctionSite, &QComboBox::currentIndexChanged, this, [this] { ComboAuctionSiteChange(); });

    auto *phraseBox = new PhraseBox(GroupBox1);
    phraseBox->OnDropDown = [this] { comboSearchStringDropDown(); };
    phraseBox->OnExit = [this] {
        try {
            comboSearchStringExit();
        } catch (const std::exception &error) {
            platform::showErrorBox(error);
        }
    };
    comboSearchString = combo("comboSearchString", 72, 52, 200, true, phraseBox);
    comboSearchString->setInsertPolicy(QComboBox::NoInsert);
    comboSearchString->setEditText(QString());
    connect(comboSearchString, &QComboBox::editTextChanged, this, [this] {
        SearchTextChange();
        describeHintButtons();
    });
    connect(comboSearchString, &QComboBox::activated, this, [this] { SearchTextChange(); });

    ComboSearchFrequency = combo("ComboSearchFrequency", 102, 78, 170, false);
    for (int i = 0; i < core::IntervalCount; ++i)
        ComboSearchFrequency->addItem(fromAnsi(core::IntervalAt(i).listText));
    ComboSearchFrequency->setCurrentIndex(0);

    // A screen reader announces each box by its label, not by its value or
    // the group's caption.
    Label1->setBuddy(ComboAuctionSite);
    Label2->setBuddy(comboSearchString);
    Label3->setBuddy(ComboSearchFrequency);
    ComboAuctionSite->setAccessibleName("Site Name");
    comboSearchString->setAccessibleName("Look For");
    comboSearchString->lineEdit()->setAccessibleName("Look For");
    ComboSearchFrequency->setAccessibleName("Repeat Search");

    auto button = [&](const char *name, const char *caption, int left, Glyph glyph) {
        auto *b = new QPushButton(ButtonGlyph(glyph), caption, this);
        b->setObjectName(name);
        b->setGeometry(left, 142, 90, 35);
        b->setIconSize(QSize(16, 16));
        return b;
    };
    BitBtn1 = button("BitBtn1", "&Start", 14, Glyph::Start);
    BitBtn1->setEnabled(false);
    BitBtn1->setProperty("HelpKeyword", "Start searching");
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    BitBtn1->setMouseTracking(true);
    BitBtn1->installEventFilter(this);
    BitBtn3 = button("BitBtn3", "&Auctions...", 117, Glyph::Auctions);
    BitBtn3->setEnabled(false);
    BitBtn3->setProperty("HelpKeyword", "View all matches found");
    connect(BitBtn3, &QPushButton::clicked, this, [this] { ShowFoundLinks1Click(); });
    BitBtn3->setMouseTracking(true);
    BitBtn3->installEventFilter(this);
    BitBtn2 = button("BitBtn2", "E&xit", 220, Glyph::Exit);
    BitBtn2->setDefault(true);
    BitBtn2->setToolTip("Stop all searching and close the Lotfinch software");
    BitBtn2->setAccessibleDescription(BitBtn2->toolTip());
    describeHintButtons();
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    // Alt and a letter is a button's mnemonic, never text: see eventFilter.
    for (QWidget *input :
         {static_cast<QWidget *>(ComboAuctionSite), static_cast<QWidget *>(comboSearchString),
          static_cast<QWidget *>(comboSearchString->lineEdit()), static_cast<QWidget *>(ComboSearchFrequency)})
        input->installEventFilter(this);

    setTabOrder(ComboAuctionSite, ComboSearchFrequency);
    setTabOrder(ComboSearchFrequency, comboSearchString);
    setTabOrder(comboSearchString, BitBtn1);
    setTabOrder(BitBtn1, BitBtn3);
    setTabOrder(BitBtn3, BitBtn2);
}

void TApplicationForm::createTrayMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Restore1 = PopupMenu1->addAction(ImageList1->icon(8), "&Open Lotfinch Crawler...");
    PopupMenu1->setDefaultAction(Restore1);
    PopupMenu1->addSeparator();
    LotfinchHelp1 = PopupMenu1->addMenu(ImageList1->icon(5), "Lotfinch &System");
    AboutLotfinch1 = LotfinchHelp1->addAction(ImageList1->icon(0), "About &Lotfinch...");
    LotfinchHelp1->addSeparator();
    ProductManual1 = LotfinchHelp1->addAction(ImageList1->icon(7), "&Product Manual...");
    PopupMenu1->addSeparator();
    ShowHTMLSource1 = PopupMenu1->addAction("Show &HTML Source");
    ShowHTMLSource1->setVisible(false);
    ShowFoundLinks1 = PopupMenu1->addAction(ImageList1->icon(9), "Links to Found &Items...");
    ShowFoundLinks1->setEnabled(false);
    PopupMenu1->addSeparator();
    Exit1 = PopupMenu1->addAction(ImageList1->icon(3), "E&xit");
    const std::pair<QAction *, void (TApplicationForm::*)()> commands[] = {
        {Restore1, &TApplicationForm::TrayDoubleClick},
        {AboutLotfinch1, &TApplicationForm::AboutLotfinch1Click},
        {ProductManual1, &TApplicationForm::ProductManual1Click},
        {ShowHTMLSource1, &TApplicationForm::ShowHTMLSource1Click},
        {ShowFoundLinks1, &TApplicationForm::ShowFoundLinks1Click},
        {Exit1, &TApplicationForm::BitBtn2Click}};
    for (auto [action, handler] : commands)
        connect(action, &QAction::triggered, this, outsideWaits(handler));
}

std::function<void()> TApplicationForm::outsideWaits(void (TApplicationForm::*handler)())
{
    // A desktop with a StatusNotifier tray delivers the menu, the icon's
    // activation and notification clicks over D-Bus, which the start popup's
    // and the splash's waits answer: a command run there could close the
    // window under them or open a modal window inside them.
    return [this, handler] { platform::RunOutsideWaits(this, [this, handler] { (this->*handler)(); }); };
}

void TApplicationForm::createTrayIcon()
{
    CoolTrayIcon1 = new desktop::TCoolTrayIcon(this);
    CoolTrayIcon1->setObjectName("CoolTrayIcon1");
    CoolTrayIcon1->setIconList(ImageList2);
    CoolTrayIcon1->setCycleInterval(0);
    CoolTrayIcon1->setHint("Crawl \"site\" once every \"time\" to locate \"\"search\".\"");
    CoolTrayIcon1->setIcon(ImageList2->icon(Tag));
    CoolTrayIcon1->setIconIndex(0);
    CoolTrayIcon1->setPopupMenu(PopupMenu1);
    CoolTrayIcon1->setMinimizeToTray(true);
    CoolTrayIcon1->OnDblClick = [run = outsideWaits(&TApplicationForm::TrayDoubleClick)](QObject *) { run(); };
    CoolTrayIcon1->OnBalloonHintClick =
        [run = outsideWaits(&TApplicationForm::CoolTrayIcon1BalloonHintClick)](QObject *) { run(); };
    // A balloon that has gone leaves its window's memory behind, as a pass does.
    CoolTrayIcon1->OnBalloonHintTimeout = [](QObject *) { platform::ReleaseIdleMemory(); };
    CoolTrayIcon1->OnBalloonHintHide = CoolTrayIcon1->OnBalloonHintTimeout;
    CoolTrayIcon1->Loaded();
}

void TApplicationForm::createSearchObjects()
{
    auHTTP1 = new http::TauHTTP(this);
    auHTTP1->setObjectName("auHTTP1");
    auHTTP1->OnDone = [this](QObject *sender, const std::string &type, int64_t size, http::TStream *stream) {
        auHTTP1Done(sender, type, size, stream);
    };

    HTMLHint1 = new gui::THTMLHint(this);
    HTMLHint1->setObjectName("HTMLHint1");
    HTMLHint1->SetHintStyle(gui::THintStyle::hsRounded);
    HTMLHint1->SetEllipsis(false);
    HTMLHint1->SetMaxWidth(0);
    HTMLHint1->SetURLColor(core::HintColor::rgb(0, 0, 0));
    HTMLHint1->SetXMargin(0);
    HTMLHint1->SetYMargin(0);
}

void TApplicationForm::FormCreate()
{
    std::unique_ptr<gui::TSplashForm> splash = std::make_unique<gui::TSplashForm>(this);
    SearchTimer = std::make_unique<desktop::TSimpleTimer>();
    SearchTimer->setInterval(500);
    SearchTimer->setOnTick([this](desktop::TSimpleTimer *timer) { TimerEvent(timer); });
    RunSplash(splash.get());
    PageLines.clear();
    Found.Clear();
    ProgressPopup = new gui::TUpdateUsForm(this);
    LinksCaption = core::LinksCaptionFor(core::SiteAt(0).listText);
    TrayHintTemplate = CoolTrayIcon1->Hint();
}

void TApplicationForm::RunSplash(gui::TSplashForm *splash)
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
        splash->LabelInit->setText(splash->LabelInit->text() + ".");
        splash->LabelInit->adjustSize();
        platform::WaitAnsweringWindowSystem(QDeadlineTimer(SplashDotWait));
        splash->repaint();
    }
    splash->hide();
    // A program file without readable version information still starts; its
    // tray hint just names no version.
    try {
        VersionText = splash->StVersionInfo1->ProductVersion();
    } catch (const core::EStVersionInfoError &) {
        VersionText.clear();
    }
    QApplication::restoreOverrideCursor();
}

std::string TApplicationForm::buttonHint(QPushButton *button, core::HintForm form) const
{
    const std::string phrase = button == BitBtn3 ? StartedPhrase : SearchText();
    return core::ButtonHint(text::toAnsi(button->property("HelpKeyword").toString()), phrase, form);
}

void TApplicationForm::BitBtnMouseMove(QPushButton *button)
{
    button->setToolTip(button->isEnabled() ? fromAnsi(buttonHint(button, core::HintForm::Markup)) : QString());
}

void TApplicationForm::describeHintButtons()
{
    for (QPushButton *button : {BitBtn1, BitBtn3})
        button->setAccessibleDescription(fromAnsi(buttonHint(button, core::HintForm::Plain)));
}

void TApplicationForm::AboutLotfinch1Click()
{
    QPointer<gui::TAboutBox> box = new gui::TAboutBox(this, ImageList2);
    box->exec();
    delete box;
}

void TApplicationForm::ProductManual1Click()
{
    QFileInfo manual(core::ShippedDocumentFile("manual.pdf"));
    if (manual.isFile())
        desktop::LaunchFile(text::toAnsi(manual.fileName()), std::string(), text::toAnsi(manual.absolutePath()),
                            desktop::SW_SHOWNORMAL);
}

void TApplicationForm::ShowHTMLSource1Click()
{
    QPointer<gui::TSourceForm> form = new gui::TSourceForm(this);
    form->SetLines(PageLines);
    form->exec();
    delete form;
}

void TApplicationForm::FormShow()
{
    QApplication::setWindowIcon(ImageList2->icon(Tag));
    BitBtn3->setEnabled(!Found.empty());
    // Without a notification area the icon only carries the balloons to the
    // desktop's notification service: it stays, or no FOUND would be told.
    if (hasTray())
        CoolTrayIcon1->setIconVisible(false);
}

void TApplicationForm::FormHide()
{
    IconTrayUpdate(CoolTrayIcon1);
}

void TApplicationForm::FormClose()
{
    ProgressPopup->close();
    SearchTimer->setEnabled(false);
    // A pass waiting for a page ends with the window: dropping the HTTP
    // component abandons its transfer and lets the wait return at once.
    delete auHTTP1;
    auHTTP1 = nullptr;
}

void TApplicationForm::FormDestroy()
{
    SearchTimer.reset();
    PageLines.clear();
    Found.Clear();
}

void TApplicationForm::BitBtn1Click()
{
    // The sites are searched in Windows-1252: a phrase beyond it would be
    // searched with question marks in place of its letters.
    const QStringList outside = text::charactersOutsideAnsi(comboSearchString->currentText());
    if (!outside.isEmpty()) {
        platform::MsgQuestion question{this,
                                       "These characters cannot be searched for: " + outside.join(' ').toStdString(),
                                       "PHRASE NOT SEARCHABLE", platform::MsgIcon::Warning, platform::MsgButtons::OK};
        question.unicode = true;
        platform::MessageBoxService::ask(question);
        return;
    }
    BitBtn1Tag = 1;
    if (!Found.empty()) {
        auto answer = platform::MessageBoxService::ask(this, "Clear existing search results.", "RESULTS IN STORAGE",
                                                       platform::MsgIcon::Warning, platform::MsgButtons::YesNo);
        if (answer == platform::MsgAnswer::Yes) {
            ShowFoundLinks1->setEnabled(false);
            ComboAuctionSiteChange();
            Found.Clear();
            if (!hasTray())
                BitBtn3->setEnabled(false);
        }
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor
    {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restoreCursor;
    SearchTimer->setInterval(3000);
    StartedPhrase = SearchText();
    StartedSite = text::toAnsi(ComboAuctionSite->currentText());
    describeHintButtons();
    AnnounceSearch();
}

bool TApplicationForm::hasTray()
{
    return platform::TrayShell::instance().available();
}

void TApplicationForm::AnnounceSearch()
{
    if (hasTray()) {
        hide();
    } else {
        // Without a notification area the window would be out of reach once
        // hidden: it goes to the taskbar instead, and the search is armed the same.
        IconTrayUpdate(CoolTrayIcon1);
        showMinimized();
    }
    ProgressPopup->ShowStatus(
        3000, core::FormatText("Crawling %s for \"%s\"", {text::toAnsi(ComboAuctionSite->currentText()), SearchText()}),
        true);
}

void TApplicationForm::IconTrayUpdate(desktop::TCoolTrayIcon *icon)
{
    setTrayHint(DefaultTrayHint());
    icon->setIconVisible(true);
    if (BitBtn1Tag != 1)
        return;
    try {
        std::string phrase = SearchText();
        ShowHTMLSource1->setText(fromAnsi(core::FormatText("Starting Search for %s...", {phrase})));
        std::string hint = TrayHintTemplate;
        hint = core::ReplaceAllText(hint, "\"site\"",
                                    core::SiteAt(siteEntryOf(ComboAuctionSite->currentIndex())).shortName);
        hint = core::ReplaceAllText(hint, "\"time\"", core::IntervalAt(ComboSearchFrequency->currentIndex()).hintWord);
        hint = core::ReplaceAllText(hint, "\"search\"", phrase);
        setTrayHint(hint);
        SearchTimer->setEnabled(true);
    } catch (const std::exception &) {
        SearchTimer->setEnabled(false);
    }
}

std::string TApplicationForm::DefaultTrayHint() const
{
    if (Found.empty())
        return core::FormatText("Lotfinch (Desktop) %s from Pellory", {VersionText});
    return core::FormatText("STILL crawling %s for \"%s\".", {StartedSite, StartedPhrase});
}

void TApplicationForm::TimerEvent(desktop::TSimpleTimer *)
{
    if (ProgressPopup->isVisible())
        ProgressPopup->hide();
    if (!SearchTimer->Enabled())
        return;
    // Passes never overlap: Qt holds back the search timer's ticks while this
    // handler waits for pages, so a slow pass runs to its end and the next
    // one follows the interval set below.
    QPointer<TApplicationForm> self(this);
    bool found = SearchSites(ComboAuctionSite->currentIndex());
    if (!self || closing_)
        return;
    ShowFoundLinks1->setEnabled(found);
    // Without a tray the window is the way to the found items, whether or
    // not the desktop minimised it.
    if (!hasTray())
        BitBtn3->setEnabled(found);
    SearchTimer->setInterval(static_cast<int>(core::IntervalMilliseconds(ComboSearchFrequency->currentIndex())));
    // The program now waits in the tray until the next pass.
    platform::ReleaseIdleMemory();
}

bool TApplicationForm::SearchSites(int selected)
{
    const int entryIndex = siteEntryOf(selected);
    const core::Site &entry = core::SiteAt(entryIndex);
    bool found = !Found.empty();
    // The wait for a page runs the event loop: the user may close the window
    // meanwhile, which ends the pass.
    QPointer<TApplicationForm> self(this);
    const std::vector<int> sites = core::SitesOfPass(selected, ComboAuctionSite->count());
    Checks.KeepOnly(sites);
    for (int site : sites) {
        if (closing_)
            break;
        // The box may have changed since Start; a phrase that Start would
        // refuse is not searched with question marks in place of its letters,
        // and the tooltip keeps naming the last phrase searched.
        const QStringList outside = text::charactersOutsideAnsi(comboSearchString->currentText());
        if (!outside.isEmpty()) {
            noteFailedCheck(site, core::UnsearchableReason(outside));
            setTrayHint(trayHint_);
            continue;
        }
        std::string phrase = SearchText();
        auHTTP1->setURL(core::SearchAddress(site, phrase));
        // Passes do not overlap, so the component is not busy here; were it
        // so, its refusal would be no check of the site, nor a failed one.
        const bool refused = auHTTP1->Busy();
        const int delivered = pagesDelivered_;
        const auto started = std::chrono::steady_clock::now();
        auHTTP1->Read(true);
        if (!self || closing_)
            return false;
        // Only a page fetched now is scanned: the page before stands for
        // nothing this check found.
        if (pagesDelivered_ != delivered) {
            Checks.Succeeded(site);
            if (core::ExtractLinks(PageLines, Found) > 0)
                CoolTrayIcon1->ShowBalloon(core::FoundBalloonTitle, core::FoundBalloonText(StartedPhrase),
                                           desktop::BalloonIconKind::bitInfo, core::FoundBalloonSeconds);
        } else if (!refused) {
            auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
            noteFailedCheck(site, core::FailureReason(core::OutcomeOf(*auHTTP1, static_cast<int>(elapsed.count())),
                                                      core::SiteAt(site).domain));
        }
        found = !Found.empty();
        phrase = SearchText();
        if (found) {
            const char *shortName = core::SiteAt(site).shortName;
            const char *siteName = Found.AnyItemContains(shortName) ? shortName : entry.shortName;
            setTrayHint(core::FormatText("FOUND matches for \"%s\" on %s.", {phrase, siteName}));
            CoolTrayIcon1->setIconIndex(entryIndex + 1);
            ShowFoundLinks1->setText(fromAnsi(core::FormatText("&Links to \"%s\"...", {phrase})));
        } else {
            if (BitBtn1Tag == 1)
                setTrayHint(core::FormatText("STILL crawling %s for \"%s\".", {entry.shortName, phrase}));
            CoolTrayIcon1->setIconIndex(0);
        }
    }
    return found;
}

void TApplicationForm::noteFailedCheck(int site, std::string_view reason)
{
    std::string line = core::FailureLine(QTime::currentTime(), Found.separators().time, reason);
    if (Checks.Failed(site, line))
        CoolTrayIcon1->ShowBalloon(core::CheckFailedBalloonTitle, line, desktop::BalloonIconKind::bitWarning,
                                   core::FoundBalloonSeconds);
}

void TApplicationForm::setTrayHint(const std::string &hint)
{
    trayHint_ = hint;
    CoolTrayIcon1->setHint(core::HintWithFailureLine(hint, Checks.LatestFailureLine()));
}

void TApplicationForm::auHTTP1Done(QObject *, const std::string &, int64_t, http::TStream *stream)
{
    if (!stream)
        return;
    core::SetPageLines(PageLines, stream->ReadAll());
    ++pagesDelivered_;
}

int TApplicationForm::siteEntryOf(int selected) const
{
    return selected >= 0 && selected < ComboAuctionSite->count() - 1 ? selected : core::AllSitesIndex;
}

void TApplicationForm::SearchTextChange()
{
    BitBtn1->setEnabled(!comboSearchString->currentText().isEmpty());
}

void TApplicationForm::BitBtn2Click()
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

void TApplicationForm::ComboAuctionSiteChange()
{
    LinksCaption = core::SiteChangeCaption(ComboAuctionSite->currentIndex(), !Found.empty());
}

void TApplicationForm::ShowFoundLinks1Click()
{
    if (Found.empty())
        return;
    QPointer<gui::TLinkURLsForm> form = new gui::TLinkURLsForm(this, ImageList2);
    form->SetItems(Found.FoundItems(), Found.FoundDescriptions());
    form->StatusPanel0->setText(fromAnsi(Found.LatestFoundText()));
    form->StatusPanel1->setText(QString("%1 Items Found").arg(Found.count()));
    // An empty phrase counts as not contained, so it adds "" too.
    std::string phrase = SearchText();
    if (phrase.empty() || LinksCaption.find(phrase) == std::string::npos)
        LinksCaption += "\"" + phrase + "\" ";
    form->setWindowTitle(fromAnsi(LinksCaption));
    form->exec();
    delete form;
}

void TApplicationForm::TrayDoubleClick()
{
    if (isVisible()) {
        if (isMinimized())
            showNormal();
        activateWindow();
    } else {
        show();
    }
}

void TApplicationForm::CoolTrayIcon1BalloonHintClick()
{
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
    QTimer::singleShot(0, this, [this] { TrayDoubleClick(); });
    ShowFoundLinks1Click();
}

void TApplicationForm::comboSearchStringDropDown()
{
    History.DropDown();
    showHistory();
}

void TApplicationForm::comboSearchStringExit()
{
    // The list shows a new phrase even when the file could not be written.
    struct ShowHistory
    {
        TApplicationForm *form;
        ~ShowHistory() { form->showHistory(); }
    } show{this};
    // The file holds Windows-1252: a phrase that Start refuses would be kept
    // with question marks in place of its letters.
    if (text::charactersOutsideAnsi(comboSearchString->currentText()).isEmpty())
        History.Enter(SearchText());
}

void TApplicationForm::showHistory()
{
    const text::StringList &phrases = History.Phrases();
    bool same = comboSearchString->count() == phrases.count();
    for (int i = 0; same && i < phrases.count(); ++i)
        same = comboSearchString->itemText(i) == fromAnsi(phrases[i]);
    if (same)
        return;
    const QString text = comboSearchString->currentText();
    QSignalBlocker quiet(comboSearchString);
    comboSearchString->clear();
    for (const std::string &phrase : phrases.lines())
        comboSearchString->addItem(fromAnsi(phrase));
    comboSearchString->setCurrentIndex(-1);
    comboSearchString->setEditText(text);
}

void TApplicationForm::OneInstance1NewInstanceLoad(uint32_t, const QString &NewCommandLineW)
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

std::string TApplicationForm::SearchText() const
{
    return text::toAnsi(comboSearchString->currentText());
}

void TApplicationForm::showEvent(QShowEvent *event)
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
    FormShow();
}

void TApplicationForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // Workaround: Qt on Wayland is never told that the desktop restored a
        // minimised window; one the user works in is not minimised (and the
        // next minimise is a change again).
        if (isMinimized())
            setWindowState(windowState() & ~Qt::WindowMinimized);
        if (!hasTray())
            BitBtn3->setEnabled(!Found.empty());
    }
    // Without a notification area Start minimises the window; restoring it
    // from the taskbar shows it without a show of the program's own, so it
    // is made ready here as a show would make it.
    if (event->type() == QEvent::WindowStateChange && isVisible() && !isMinimized() &&
        (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized))
        FormShow();
}

void TApplicationForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    keptPlace_ = geometry();
    // A closing window goes for good: it does not move into the tray.
    if (!event->spontaneous() && !closing_)
        FormHide();
}

void TApplicationForm::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
    closing_ = true;
}

bool TApplicationForm::eventFilter(QObject *watched, QEvent *event)
{
    // The mnemonic of a disabled button reaches the focused box as a plain
    // key press, which would type its letter or pick a list entry by it.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers chord = key->modifiers() & (Qt::AltModifier | Qt::ControlModifier);
        if (chord == Qt::AltModifier && !key->text().isEmpty())
            return true;
    }
    if (event->type() == QEvent::MouseMove && (watched == BitBtn1 || watched == BitBtn3))
        BitBtnMouseMove(static_cast<QPushButton *>(watched));
    return QWidget::eventFilter(watched, event);
}

void TApplicationForm::keyPressEvent(QKeyEvent *event)
{
    // Enter activates the focused button, otherwise the default button (Exit).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()); focused && focused->isEnabled())
            focused->click();
        else
            BitBtn2->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace lotfinch::gui
