#include "gui/FoundItemsDialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <stdexcept>

#include "gui/OwnedWindow.h"
#include "gui/UrlLabel.h"
#include "platform/Application.h"
#include "text/AnsiText.h"
#include "text/TextBetween.h"

namespace lotfinch::gui {

namespace {

constexpr const char *openFailure = "Searching for alternate browser.";

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text::sameTextAnsi(text.substr(0, prefix.size()), prefix);
}

// Runs a command of the window; a failure goes to the standard error box
// here rather than unwinding through Qt's signal delivery.
template <typename Handler> auto guarded(Handler handler)
{
    return [handler] {
        try {
            handler();
        } catch (const std::exception &error) {
            platform::showErrorBox(error);
        }
    };
}

} // namespace

std::string AuctionNumberOf(std::string_view entry)
{
    size_t marker = entry.find("/itm/");
    // Without the marker the rest starts at the fifth character.
    size_t from = marker == std::string_view::npos ? 4 : marker + 5;
    std::string_view rest = from <= entry.size() ? entry.substr(from) : std::string_view();
    return text::TextBetween(rest, "/", "?");
}

bool IsWebAddress(std::string_view entry)
{
    for (std::string_view scheme : {"http://", "https://"})
        if (startsWithNoCase(entry, scheme) && entry.size() > scheme.size())
            return true;
    return false;
}

TLinkURLsForm::TLinkURLsForm(QWidget *owner, const desktop::ImageList *appImages)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      appImages_(appImages)
{
    setObjectName("LinkURLsForm");
    setWindowTitle("Links to Found Item(s)");
    // Said when the window opens; it also keeps the list's markup hint,
    // the window's tooltip, from being read out as the window's description.
    setAccessibleDescription("The links to the auction listings found, newest first");
    setFixedSize(465, 523);
    setFont(QFont("MS Sans Serif", 8));

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setAccessibleName("Links to found items");
    ListBox1->setGeometry(7, 8, 451, 457);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListBox1->viewport()->setMouseTracking(true);
    ListBox1->viewport()->installEventFilter(this);
    ListBox1->installEventFilter(this);
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { ListBox1Click(); });

    auto button = [this](const char *name, const char *caption, QStyle::StandardPixmap glyph, int left,
                         const char *hint) {
        auto *b = new QPushButton(style()->standardIcon(glyph), caption, this);
        b->setObjectName(name);
        b->setGeometry(left, 470, 110, 31);
        b->setToolTip(hint);
        // The window has no default button: Enter does not open an auction.
        b->setAutoDefault(false);
        return b;
    };
    bbtnGetInfo = button("bbtnGetInfo", "&View Auction", QStyle::SP_DirLinkIcon, 99,
                         "Open the selected auction in the default browser");
    bbtnGetInfo->setEnabled(false);
    connect(bbtnGetInfo, &QPushButton::clicked, this, guarded([this] { bbtnGetInfoClick(); }));
    bbtnClose = button("bbtnClose", "&Close", QStyle::SP_DialogCloseButton, 257, "Close the auctions links");
    connect(bbtnClose, &QPushButton::clicked, this, [this] { bbtnCloseClick(); });

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, height() - 19, width(), 19);
    // The panels show titles taken from web pages: as plain text, never as
    // markup that could make Qt load images from local files.
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setTextFormat(Qt::PlainText);
    StatusPanel0->setFixedWidth(300);
    StatusBar1->addWidget(StatusPanel0);
    // The last panel reaches to the window's right edge.
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setTextFormat(Qt::PlainText);
    StatusPanel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StatusBar1->addWidget(StatusPanel1, 1);

    RUrllabel1 = new TRUrllabel(this);
    RUrllabel1->setObjectName("RUrllabel1");
    RUrllabel1->move(382, 484);
    // Only http(s) entries reach the label, and they are opened unchanged:
    // the Auto type would turn an https:// link into "http://https://..."
    // and one with an "@" into a mail form.
    RUrllabel1->SetUrlType(TUrlType::Custom);
    RUrllabel1->hide();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    OpeninDefaultBrowser1 = PopupMenu1->addAction("Open in Default &Browser");
    PopupMenu1->setDefaultAction(OpeninDefaultBrowser1);
    Separator1 = PopupMenu1->addSeparator();
    CopytoClipboard1 = PopupMenu1->addMenu("&Copy to Clipboard");
    CopyURLtoClipboard1 = CopytoClipboard1->addAction("Auction &URL");
    CopyAuctionNumbertoClipboard1 = CopytoClipboard1->addAction("Auction &Number");
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
    connect(OpeninDefaultBrowser1, &QAction::triggered, this, guarded([this] { bbtnGetInfoClick(); }));
    connect(CopyURLtoClipboard1, &QAction::triggered, this, [this] { CopyURLtoClipboard1Click(); });
    connect(CopyAuctionNumbertoClipboard1, &QAction::triggered, this, [this] { CopyAuctionNumbertoClipboard1Click(); });
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(pos)); });
}

void TLinkURLsForm::SetItems(const text::StringList &items, const text::StringList &descriptions)
{
    // Searches go on while the window is open: the owner's lists may grow,
    // but each listed link keeps the description taken with it.
    descriptions_ = descriptions;
    hintIndex_ = -1;
    ListBox1->clear();
    for (const std::string &item : items.lines())
        ListBox1->addItem(text::fromAnsi(item));
    // Without a current entry the first arrow key selects the newest one;
    // Qt would otherwise make it current unselected when the list gets focus.
    ListBox1->setCurrentIndex(QModelIndex());
}

std::string TLinkURLsForm::SelectedEntry() const
{
    QList<QListWidgetItem *> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? std::string() : text::toAnsi(selected.first()->text());
}

void TLinkURLsForm::FormShow()
{
    if (appImages_)
        QApplication::setWindowIcon(appImages_->icon(Tag));
}

void TLinkURLsForm::ListBox1Click()
{
    bbtnGetInfo->setEnabled(!ListBox1->selectedItems().isEmpty());
    describeSelectedItem();
}

void TLinkURLsForm::describeSelectedItem()
{
    // A screen reader reads an entry's link as its name and the selected
    // entry's description (when it was found, its title) as its description.
    const QListWidgetItem *selected = ListBox1->selectedItems().value(0);
    for (int row = 0; row < ListBox1->count(); ++row) {
        QListWidgetItem *item = ListBox1->item(row);
        QString description;
        if (item == selected && row < descriptions_.count())
            description = text::fromAnsi(descriptions_[row]);
        if (item->data(Qt::AccessibleDescriptionRole).toString() != description)
            item->setData(Qt::AccessibleDescriptionRole, description);
    }
}

void TLinkURLsForm::popupListMenuFromKeyboard()
{
    // The menu opens at the selected entry, wherever the pointer is.
    QRect at = ListBox1->visualItemRect(ListBox1->selectedItems().value(0));
    QPoint corner = at.isValid() ? at.bottomLeft() : QPoint();
    PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(corner));
}

void TLinkURLsForm::bbtnGetInfoClick()
{
    if (ListBox1->selectedItems().isEmpty())
        return;
    std::string entry = SelectedEntry();
    if (!IsWebAddress(entry))
        throw std::runtime_error(openFailure);
    RUrllabel1->SetURL(entry);
    RUrllabel1->Click();
}

void TLinkURLsForm::CopyURLtoClipboard1Click()
{
    if (!ListBox1->selectedItems().isEmpty())
        QApplication::clipboard()->setText(text::fromAnsi(SelectedEntry()));
}

void TLinkURLsForm::CopyAuctionNumbertoClipboard1Click()
{
    if (!ListBox1->selectedItems().isEmpty())
        QApplication::clipboard()->setText(text::fromAnsi(AuctionNumberOf(SelectedEntry())));
}

void TLinkURLsForm::PopupMenu1Popup()
{
    bool selected = !ListBox1->selectedItems().isEmpty();
    OpeninDefaultBrowser1->setEnabled(selected);
    Separator1->setEnabled(selected);
    CopytoClipboard1->menuAction()->setEnabled(selected);
}

void TLinkURLsForm::SetShowHint(bool on)
{
    if (!on && !showHint_)
        return;
    showHint_ = on;
    setToolTip(on ? text::fromAnsi(hint_) : QString());
}

void TLinkURLsForm::ListBox1MouseMove()
{
    QList<QListWidgetItem *> selected = ListBox1->selectedItems();
    int index = selected.isEmpty() ? -1 : ListBox1->row(selected.first());
    if (index < 0 || index >= descriptions_.count() || index >= ListBox1->count()) {
        SetShowHint(false);
        return;
    }
    // Rebuilt only when the selection changed: a new hint text makes the
    // hint window lay out and paint it again.
    if (showHint_ && index == hintIndex_)
        return;
    hint_ = "<b><font color=\"#A00000\">" + descriptions_[index] + "</font></b><br/><br/>" +
            text::toAnsi(ListBox1->item(index)->text());
    hintIndex_ = index;
    SetShowHint(true);
}

void TLinkURLsForm::bbtnCloseClick()
{
    close();
}

void TLinkURLsForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        BelongToShownOwner(this);
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TLinkURLsForm::keyPressEvent(QKeyEvent *event)
{
    // The window has neither a default nor a cancel button: Enter presses
    // only a button that has the focus, and Esc does not close the window.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()); focused && focused->isEnabled())
            focused->click();
        break;
    case Qt::Key_Escape: break;
    default: QDialog::keyPressEvent(event); return;
    }
    event->accept();
}

bool TLinkURLsForm::eventFilter(QObject *watched, QEvent *event)
{
    // The list's menu from the keyboard: the Menu key (which Qt turns into a
    // context-menu request) and Shift+F10.
    if (watched == ListBox1) {
        const bool menuKey = event->type() == QEvent::ContextMenu &&
                             static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard;
        const auto *key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent *>(event) : nullptr;
        if (menuKey || (key && key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            popupListMenuFromKeyboard();
            return true;
        }
    }
    if (watched == ListBox1->viewport()) {
        if (event->type() == QEvent::MouseMove)
            ListBox1MouseMove();
        else if (event->type() == QEvent::MouseButtonDblClick)
            guarded([this] { bbtnGetInfoClick(); })();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace lotfinch::gui
