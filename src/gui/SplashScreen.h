#pragma once

#include <QWidget>

class QLabel;

namespace lotfinch::core {
class VersionInfo;
}

namespace lotfinch::gui {

class Bevel;
class ImageBox;

// The maker's one-line copyright notice (8-bit text), on the splash and About windows.
inline constexpr char CopyrightNotice[] = "Copyright \xA9 2012 Pellory. All rights reserved.";

// The borderless start-up picture. Its owner shows it while it starts up and
// takes the product version from its version reader.
class SplashScreen : public QWidget
{
    Q_OBJECT
public:
    explicit SplashScreen(QWidget *owner);

    ImageBox *picture; // the splash picture
    ImageBox *logo;    // the product logo
    QLabel *copyright;
    ImageBox *programIcon;
    QLabel *initLabel;
    QLabel *buildLabel;
    Bevel *outerBevel, *innerBevel;
    core::VersionInfo *versionInfo; // reads the program's own file

    void formCreated();
    // Fills in the build number; throws VersionInfoError when the program
    // file's version cannot be read.
    void formShown();

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace lotfinch::gui
