#include "gui/SplashScreen.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>

#include "core/VersionInfo.h"
#include "gui/PictureWidgets.h"
#include "text/AnsiText.h"

namespace lotfinch::gui {

SplashScreen::SplashScreen(QWidget *owner) : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("SplashForm");
    setFixedSize(399, 231);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setFont(QFont("MS Sans Serif", 8));

    picture = new ImageBox(this);
    picture->setObjectName("picture");
    picture->setGeometry(0, 0, 240, 240);
    picture->SetPicture(LoadPicture(Picture::Splash));
    picture->SetStretch(true);
    picture->SetCenter(true);

    logo = new ImageBox(this);
    logo->setObjectName("logo");
    logo->setGeometry(171, 18, 223, 77);
    logo->SetPicture(LoadPicture(Picture::Logo));

    copyright = new QLabel(text::fromAnsi(CopyrightNotice), this);
    copyright->setObjectName("copyright");
    copyright->setGeometry(36, 215, 354, 15);
    copyright->setFont(QFont("Tahoma", 8));
    copyright->setWordWrap(true);
    copyright->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    programIcon = new ImageBox(this);
    programIcon->setObjectName("programIcon");
    programIcon->setGeometry(9, 206, 24, 24);
    programIcon->SetDrawing(DrawProgramIcon);

    QFont bold("MS Sans Serif", 8);
    bold.setBold(true);
    auto label = [&](const char *name, const char *text, int left, int top, QColor colour) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->setFont(bold);
        QPalette ink = l->palette();
        ink.setColor(QPalette::WindowText, colour);
        l->setPalette(ink);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    initLabel = label("initLabel", "Initializing the Lotfinch", 201, 166, QColor(128, 64, 64));
    buildLabel = label("buildLabel", "Build 2.0.1", 251, 106, QColor(64, 0, 64));

    outerBevel = new Bevel(this, Bevel::Shape::Frame);
    outerBevel->setObjectName("outerBevel");
    outerBevel->setGeometry(rect());
    innerBevel = new Bevel(this, Bevel::Shape::Box);
    innerBevel->setObjectName("innerBevel");
    innerBevel->setGeometry(rect());

    versionInfo = new core::VersionInfo(this);
    versionInfo->setObjectName("versionInfo");
    versionInfo->Loaded();

    if (QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    formCreated();
}

void SplashScreen::formCreated()
{
    // The path the system reports, not argument 0: a program started through
    // PATH sees only its bare name there.
    versionInfo->SetFileName(QCoreApplication::applicationFilePath());
}

void SplashScreen::formShown()
{
    buildLabel->setText(QString("Build %1").arg(text::fromAnsi(versionInfo->FileVersion())));
    buildLabel->adjustSize();
}

void SplashScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        formShown();
}

} // namespace lotfinch::gui
