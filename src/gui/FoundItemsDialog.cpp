#include "gui/FoundItemsDialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <stdexcept>

#include "core/FoundItems.h"
#include "core/TextUtils.h"
#include "gui/OwnedWindow.h"
#include "gui/ScreenFit.h"
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
    // An item listed by its own address ends in its number.
    if (marker != std::string_view::npos && rest == core::ItemNumberOf(entry) && !rest.empty())
        return std::string(rest);
    return text::TextBetween(rest, "/", "?");
}

bool IsWebAddress(std::string_view entry)
{
    for (std::string_view scheme : {"http://", "https://"})
        if (startsWithNoCase(entry, scheme) && entry.size() > scheme.size())
            return true;
    return false;
}

FoundItemsDialog::FoundItemsDialog(QWidget *owner, const desktop::ImageList *appImages)
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
    RefuseToGrow(this);
    setFont(QFont("MS Sans Serif", 8));

    itemList = new QListWidget(this);
    itemList->setObjectName("itemList");
    itemList->setAccessibleName("Links to found items");
    itemList->setGeometry(7, 8, 451, 457);
    itemList->setSelectionMode(QAbstractItemView::SingleSelection);
    itemList->setUniformItemSizes(true);
    itemList->setContextMenuPolicy(Qt::CustomContextMenu);
    itemList->viewport()->setMouseTracking(true);
    itemList->viewport()->installEventFilter(this);
    itemList->installEventFilter(this);
    connect(itemList, &QListWidget::itemSelectionChanged, this, [this] { itemClicked(); });

    auto button = [this](const char *name, const char *caption, QStyle::StandardPixmap glyph, int left,
                         const char *hint) {
        auto *b = new QPushButton(style()->standardIcon(glyph), caption, this);
        b->setObjectName(name);
        b->setGeometry(left, 470, 110, 31);
        b->setToolTip(hint);
        // The window has no default button: Enter presses the focused button,
        // or opens the list's selected entry.
        b->setAutoDefault(false);
        return b;
    };
    viewButton = button("viewButton", "&View Auction", QStyle::SP_DirLinkIcon, 99,
                        "Open the selected auction in the default browser");
    viewButton->setEnabled(false);
    connect(viewButton, &QPushButton::clicked, this, guarded([this] { viewClicked(); }));
    closeButton = button("closeButton", "&Close", QStyle::SP_DialogCloseButton, 257, "Close the auctions links");
    connect(closeButton, &QPushButton::clicked, this, [this] { closeClicked(); });

    statusBar = new QStatusBar(this);
    statusBar->setObjectName("statusBar");
    statusBar->setAccessibleName("Status");
    statusBar->setSizeGripEnabled(false);
    statusBar->setGeometry(0, height() - 19, width(), 19);
    // The panels show titles taken from web pages: as plain text (never as
    // markup that could make Qt load images from local files), elided where
    // they do not fit.
    latestLabel = new ElidedLabel(statusBar);
    latestLabel->setFixedWidth(300);
    statusBar->addWidget(latestLabel);
    // The last panel reaches to the window's right edge.
    countLabel = new ElidedLabel(statusBar);
    countLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar->addWidget(countLabel, 1);

    urlLabel = new UrlLabel(this);
    urlLabel->setObjectName("urlLabel");
    urlLabel->move(382, 484);
    // Only http(s) entries reach the label, and they are opened unchanged:
    // the Auto type would turn an https:// link into "http://https://..."
    // and one with an "@" into a mail form.
    urlLabel->SetUrlType(UrlType::Custom);
    urlLabel->hide();

    listMenu = new QMenu(this);
    listMenu->setObjectName("listMenu");
    openAction = listMenu->addAction("Open in Default &Browser");
    listMenu->setDefaultAction(openAction);
    copySeparator = listMenu->addSeparator();
    copyMenu = listMenu->addMenu("&Copy to Clipboard");
    copyUrlAction = copyMenu->addAction("Auction &URL");
    copyNumberAction = copyMenu->addAction("Auction &Number");
    connect(listMenu, &QMenu::aboutToShow, this, [this] { listMenuAboutToShow(); });
    connect(openAction, &QAction::triggered, this, guarded([this] { viewClicked(); }));
    connect(copyUrlAction, &QAction::triggered, this, [this] { copyUrl(); });
    connect(copyNumberAction, &QAction::triggered, this, [this] { copyNumber(); });
    connect(itemList, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { listMenu->popup(itemList->viewport()->mapToGlobal(pos)); });
}

void FoundItemsDialog::SetItems(const text::StringList &items, const text::StringList &descriptions)
{
    // Searches go on while the window is open: the owner's lists may grow,
    // but each listed link keeps the description taken with it.
    descriptions_ = descriptions;
    hintIndex_ = -1;
    itemList->clear();
    for (const std::string &item : items.lines())
        itemList->addItem(text::fromAnsi(item));
    // Without a current entry the first arrow key selects the newest one;
    // Qt would otherwise make it current unselected when the list gets focus.
    itemList->setCurrentIndex(QModelIndex());
}

std::string FoundItemsDialog::SelectedEntry() const
{
    QList<QListWidgetItem *> selected = itemList->selectedItems();
    return selected.isEmpty() ? std::string() : text::toAnsi(selected.first()->text());
}

void FoundItemsDialog::formShown()
{
    if (appImages_)
        QApplication::setWindowIcon(appImages_->icon(iconIndex));
}

void FoundItemsDialog::itemClicked()
{
    viewButton->setEnabled(!itemList->selectedItems().isEmpty());
    describeSelectedItem();
}

void FoundItemsDialog::describeSelectedItem()
{
    // A screen reader reads an entry's link as its name and the selected
    // entry's description (when it was found, its title) as its description.
    const QListWidgetItem *selected = itemList->selectedItems().value(0);
    for (int row = 0; row < itemList->count(); ++row) {
        QListWidgetItem *item = itemList->item(row);
        QString description;
        if (item == selected && row < descriptions_.count())
            description = QString::fromStdString(descriptions_[row]);
        if (item->data(Qt::AccessibleDescriptionRole).toString() != description)
            item->setData(Qt::AccessibleDescriptionRole, description);
    }
}

void FoundItemsDialog::popupListMenuFromKeyboard()
{
    // The menu opens at the selected entry, wherever the pointer is.
    QRect at = itemList->visualItemRect(itemList->selectedItems().value(0));
    QPoint corner = at.isValid() ? at.bottomLeft() : QPoint();
    listMenu->popup(itemList->viewport()->mapToGlobal(corner));
}

void FoundItemsDialog::viewClicked()
{
    if (itemList->selectedItems().isEmpty())
        return;
    std::string entry = SelectedEntry();
    if (!IsWebAddress(entry))
        throw std::runtime_error(openFailure);
    urlLabel->SetURL(entry);
    urlLabel->Click();
}

void FoundItemsDialog::copyUrl()
{
    if (!itemList->selectedItems().isEmpty())
        QApplication::clipboard()->setText(text::fromAnsi(SelectedEntry()));
}

void FoundItemsDialog::copyNumber()
{
    if (!itemList->selectedItems().isEmpty())
        QApplication::clipboard()->setText(text::fromAnsi(AuctionNumberOf(SelectedEntry())));
}

void FoundItemsDialog::listMenuAboutToShow()
{
    bool selected = !itemList->selectedItems().isEmpty();
    openAction->setEnabled(selected);
    copySeparator->setEnabled(selected);
    copyMenu->menuAction()->setEnabled(selected);
}

void FoundItemsDialog::SetShowHint(bool on)
{
    if (!on && !showHint_)
        return;
    showHint_ = on;
    setToolTip(on ? QString::fromStdString(hint_) : QString());
}

void FoundItemsDialog::itemListMouseMove()
{
    QList<QListWidgetItem *> selected = itemList->selectedItems();
    int index = selected.isEmpty() ? -1 : itemList->row(selected.first());
    if (index < 0 || index >= descriptions_.count() || index >= itemList->count()) {
        SetShowHint(false);
        return;
    }
    // Rebuilt only when the selection changed: a new hint text makes the
    // hint window lay out and paint it again.
    if (showHint_ && index == hintIndex_)
        return;
    // The title and the link draw as they stand: an "&" in either is no mnemonic.
    hint_ = "<b><font color=\"#A00000\">" + core::HintMarkupText(descriptions_[index]) + "</font></b><br/><br/>" +
            core::HintMarkupText(itemList->item(index)->text().toStdString());
    hintIndex_ = index;
    SetShowHint(true);
}

void FoundItemsDialog::closeClicked()
{
    close();
}

void FoundItemsDialog::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        BelongToShownOwner(this);
        FitIntoRoom(this, itemList, RoomForWindow(this));
    }
    QDialog::showEvent(event);
    if (!event->spontaneous())
        formShown();
}

void FoundItemsDialog::keyPressEvent(QKeyEvent *event)
{
    // The window has no default button: Enter presses only a button that has
    // the focus (the list takes it for its entries). Esc closes the window.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()); focused && focused->isEnabled())
            focused->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool FoundItemsDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The list's menu from the keyboard: the Menu key (which Qt turns into a
    // context-menu request) and Shift+F10.
    if (watched == itemList) {
        const bool menuKey = event->type() == QEvent::ContextMenu &&
                             static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard;
        const auto *key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent *>(event) : nullptr;
        if (menuKey || (key && key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            popupListMenuFromKeyboard();
            return true;
        }
        // Enter on an entry opens it, as View Auction does.
        if (key && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            guarded([this] { viewClicked(); })();
            return true;
        }
    }
    if (watched == itemList->viewport()) {
        if (event->type() == QEvent::MouseMove)
            itemListMouseMove();
        else if (event->type() == QEvent::MouseButtonDblClick)
            guarded([this] { viewClicked(); })();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace lotfinch::gui
