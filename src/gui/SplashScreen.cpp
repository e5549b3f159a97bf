#include "gui/SplashScreen.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>

#include "core/VersionInfo.h"
#include "gui/PictureWidgets.h"
#include "text/AnsiText.h"

namespace lotfinch::gui {

TSplashForm::TSplashForm(QWidget *owner) : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("SplashForm");
    setFixedSize(399, 231);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setFont(QFont("MS Sans Serif", 8));

    Image1 = new TImage(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, 0, 240, 240);
    Image1->SetPicture(LoadPicture(Picture::Splash));
    Image1->SetStretch(true);
    Image1->SetCenter(true);

    Image2 = new TImage(this);
    Image2->setObjectName("Image2");
    Image2->setGeometry(171, 18, 223, 77);
    Image2->SetPicture(LoadPicture(Picture::Logo));

    Copyright = new QLabel(text::fromAnsi(CopyrightNotice), this);
    Copyright->setObjectName("Copyright");
    Copyright->setGeometry(36, 215, 354, 15);
    Copyright->setFont(QFont("Tahoma", 8));
    Copyright->setWordWrap(true);
    Copyright->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ProgramIcon = new TImage(this);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(9, 206, 24, 24);
    ProgramIcon->SetDrawing(DrawProgramIcon);

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
    LabelInit = label("LabelInit", "Initializing the Lotfinch", 201, 166, QColor(128, 64, 64));
    LabelBuildNo = label("LabelBuildNo", "Build 2.0.1", 251, 106, QColor(64, 0, 64));

    Bevel1 = new TBevel(this, TBevel::Shape::Frame);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setGeometry(rect());
    Bevel2 = new TBevel(this, TBevel::Shape::Box);
    Bevel2->setObjectName("Bevel2");
    Bevel2->setGeometry(rect());

    StVersionInfo1 = new core::TStVersionInfo(this);
    StVersionInfo1->setObjectName("StVersionInfo1");
    StVersionInfo1->Loaded();

    if (QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

void TSplashForm::FormCreate()
{
    // The path the system reports, not argument 0: a program started through
    // PATH sees only its bare name there.
    StVersionInfo1->SetFileName(QCoreApplication::applicationFilePath());
}

void TSplashForm::FormShow()
{
    LabelBuildNo->setText(QString("Build %1").arg(text::fromAnsi(StVersionInfo1->FileVersion())));
    LabelBuildNo->adjustSize();
}

void TSplashForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

} // namespace lotfinch::gui
