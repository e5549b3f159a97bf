#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "desktop/ImageList.h"
#include "gui/ElidedLabel.h"
#include "text/StringList.h"

class QAction;
class QListWidget;
class QMenu;
class QPushButton;
class QStatusBar;

namespace lotfinch::gui {

class UrlLabel;

// The item number in a found link: the path segment after the item's title
// that follows "/itm/", up to the query; or, in an item's own address
// (".../itm/<number>"), the number it ends in.
std::string AuctionNumberOf(std::string_view entry);

// Only web pages are handed to the desktop's shell from the found-items list:
// links come from pages anyone can write.
bool IsWebAddress(std::string_view entry);

// The modal window listing the found item links, newest first. The owner
// fills the list and the status panels before showing it.
class FoundItemsDialog : public QDialog
{
    Q_OBJECT
public:
    // appImages gives the application icon shown while the window is open.
    FoundItemsDialog(QWidget *owner, const desktop::ImageList *appImages);

    QListWidget *itemList;
    QPushButton *viewButton;
    QPushButton *closeButton;
    QStatusBar *statusBar;
    ElidedLabel *latestLabel;
    ElidedLabel *countLabel;
    UrlLabel *urlLabel;
    QMenu *listMenu;
    QAction *openAction;
    QAction *copySeparator;
    QMenu *copyMenu;
    QAction *copyUrlAction;
    QAction *copyNumberAction;
    int iconIndex = 10; // the application icon's entry in the owner's image list

    // The hint shown over the list (UTF-8 markup), and whether it shows.
    const std::string &Hint() const { return hint_; }
    bool ShowHint() const { return showHint_; }

    // Lists a copy of the links, and keeps a copy of their descriptions
    // (UTF-8; entry i describes link i) for the list's hint.
    void SetItems(const text::StringList &items, const text::StringList &descriptions);
    // The selected entry as program text; empty without a selection.
    std::string SelectedEntry() const;

    void formShown();
    void itemClicked();
    void viewClicked();
    void copyUrl();
    void copyNumber();
    void listMenuAboutToShow();
    void itemListMouseMove();
    void closeClicked();

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
