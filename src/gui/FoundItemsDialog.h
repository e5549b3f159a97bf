#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "desktop/ImageList.h"
#include "text/StringList.h"

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QStatusBar;

namespace lotfinch::gui {

class TRUrllabel;

// The item number in a found link: the path segment after the item's title
// that follows "/itm/", up to the query.
std::string AuctionNumberOf(std::string_view entry);

// Only web pages are handed to the desktop's shell from the found-items list:
// links come from pages anyone can write.
bool IsWebAddress(std::string_view entry);

// The modal window listing the found item links, newest first. The owner
// fills the list and the status panels before showing it.
class TLinkURLsForm : public QDialog
{
    Q_OBJECT
public:
    // appImages gives the application icon shown while the window is open.
    TLinkURLsForm(QWidget *owner, const desktop::ImageList *appImages);

    QListWidget *ListBox1;
    QPushButton *bbtnGetInfo;
    QPushButton *bbtnClose;
    QStatusBar *StatusBar1;
    QLabel *StatusPanel0;
    QLabel *StatusPanel1;
    TRUrllabel *RUrllabel1;
    QMenu *PopupMenu1;
    QAction *OpeninDefaultBrowser1;
    QAction *Separator1;
    QMenu *CopytoClipboard1;
    QAction *CopyURLtoClipboard1;
    QAction *CopyAuctionNumbertoClipboard1;
    int Tag = 10; // the application icon's entry in the owner's image list

    // The hint shown over the list, and whether it shows.
    const std::string &Hint() const { return hint_; }
    bool ShowHint() const { return showHint_; }

    // Lists a copy of the links, and keeps a copy of their descriptions
    // (entry i describes link i) for the list's hint.
    void SetItems(const text::StringList &items, const text::StringList &descriptions);
    // The selected entry as program text; empty without a selection.
    std::string SelectedEntry() const;

    void FormShow();
    void ListBox1Click();
    void bbtnGetInfoClick();
    void CopyURLtoClipboard1Click();
    void CopyAuctionNumbertoClipboard1Click();
    void PopupMenu1Popup();
    void ListBox1MouseMove();
    void bbtnCloseClick();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SetShowHint(bool on);
    void describeSelectedItem();
    void popupListMenuFromKeyboard();

    text::StringList descriptions_;
    const desktop::ImageList *appImages_;
    std::string hint_;
    bool showHint_ = false;
    int hintIndex_ = -1; // the entry the hint was built for
};

} // namespace lotfinch::gui
