#pragma once

#include <QDialog>

class QLabel;
class QFrame;
class QPushButton;

namespace lotfinch::desktop {
class ImageList;
}

namespace lotfinch::gui {

class TImage;

// The modal About window: fixed texts and pictures, closed with OK.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    // ownerImages: the owner's tray image list; its entry Tag becomes the
    // application icon while the window shows.
    TAboutBox(QWidget *owner, desktop::ImageList *ownerImages);

    QFrame *Panel1;
    TImage *ProgramIcon;
    QLabel *Version;
    QLabel *Copyright;
    TImage *Image1;
    QLabel *ProductName; // the title's shadow
    QLabel *Label1;      // the title
    QLabel *Comments;
    QPushButton *OKButton;
    int Tag = 7;

    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;

private:
    desktop::ImageList *ownerImages_;
};

} // namespace lotfinch::gui
