#pragma once

#include <QWidget>

class QLabel;

namespace lotfinch::core {
class TStVersionInfo;
}

namespace lotfinch::gui {

class TBevel;
class TImage;

// The maker's one-line copyright notice (8-bit text), on the splash and About windows.
inline constexpr char CopyrightNotice[] = "Copyright \xA9 2012 Pellory. All rights reserved.";

// The borderless start-up picture. Its owner shows it while it starts up and
// takes the product version from its version reader.
class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    explicit TSplashForm(QWidget *owner);

    TImage *Image1; // the splash picture
    TImage *Image2; // the product logo
    QLabel *Copyright;
    TImage *ProgramIcon;
    QLabel *LabelInit;
    QLabel *LabelBuildNo;
    TBevel *Bevel1, *Bevel2;
    core::TStVersionInfo *StVersionInfo1; // reads the program's own file

    void FormCreate();
    // Fills in the build number; throws EStVersionInfoError when the program
    // file's version cannot be read.
    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace lotfinch::gui
