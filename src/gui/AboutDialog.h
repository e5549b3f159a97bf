#pragma once

#include <QDialog>

class QLabel;
class QFrame;
class QPushButton;

namespace lotfinch::desktop {
class ImageList;
}

namespace lotfinch::gui {

class ImageBox;

// The modal About window: fixed texts and pictures, closed with OK.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    // ownerImages: the owner's tray image list; its entry iconIndex becomes the
    // application icon while the window shows.
    AboutDialog(QWidget *owner, desktop::ImageList *ownerImages);

    QFrame *panel;
    ImageBox *programIcon;
    QLabel *version;
    QLabel *copyright;
    ImageBox *picture;
    QLabel *title; // drawn with its shadow
    QLabel *comments;
    QPushButton *okButton;
    int iconIndex = 7;

    void formShown();

protected:
    void showEvent(QShowEvent *event) override;

private:
    desktop::ImageList *ownerImages_;
};

} // namespace lotfinch::gui
