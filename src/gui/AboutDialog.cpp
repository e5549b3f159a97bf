#include "gui/AboutDialog.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "desktop/ImageList.h"
#include "gui/AccessibleRoles.h"
#include "gui/PictureWidgets.h"
#include "gui/SplashScreen.h"
#include "text/AnsiText.h"

namespace lotfinch::gui {

TAboutBox::TAboutBox(QWidget *owner, desktop::ImageList *ownerImages)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ownerImages_(ownerImages)
{
    setObjectName("AboutBox");
    setWindowTitle("About Lotfinch");
    setFixedSize(316, 213);
    setFont(QFont("MS Sans Serif", 8));

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(10, 10, 300, 161);
    // Lowered outside, raised inside: a sunken frame holding a raised panel.
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    auto *inner = new QFrame(Panel1);
    inner->setGeometry(1, 1, 298, 159);
    inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    inner->setAttribute(Qt::WA_TransparentForMouseEvents);

    ProgramIcon = new TImage(Panel1);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(274, 134, 24, 24);
    ProgramIcon->SetDrawing(DrawProgramIcon);
    SetAccessibleRole(ProgramIcon, QAccessible::Graphic);
    ProgramIcon->setAccessibleName("Lotfinch program icon");

    auto label = [&](const char *name, const QString &text, int left, int top, const QFont &font) {
        auto *l = new QLabel(text, Panel1);
        l->setObjectName(name);
        l->setFont(font);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    QFont versionFont("Tahoma");
    versionFont.setPixelSize(12);
    Version = label("Version", "Version 2.0.1, March 2012", 146, 48, versionFont);

    Copyright = label("Copyright", text::fromAnsi(CopyrightNotice), 3, 144, QFont("Tahoma", 8));
    Copyright->setGeometry(3, 144, 275, 15);
    Copyright->setWordWrap(true);

    Image1 = new TImage(Panel1);
    Image1->setObjectName("Image1");
    Image1->setGeometry(14, 2, 85, 85);
    Image1->SetPicture(LoadPicture(Picture::About));
    Image1->SetStretch(true);
    SetAccessibleRole(Image1, QAccessible::Graphic);
    Image1->setAccessibleName("Lotfinch picture");

    QFont titleFont("Trebuchet MS");
    titleFont.setPixelSize(19);
    titleFont.setBold(true);
    ProductName = label("ProductName", "Lotfinch Desktop", 97, 14, titleFont);
    QPalette shadow = ProductName->palette();
    shadow.setColor(QPalette::WindowText, palette().color(QPalette::Midlight));
    ProductName->setPalette(shadow);
    Label1 = label("Label1", "Lotfinch Desktop", 96, 11, titleFont);

    Comments = label("Comments",
                     "This auction site crawling utility will continually search ebay and other English-laguage "
                     "auction sites to find new and existing listings matching your search term.",
                     8, 82, QFont("Arial", 8));
    Comments->setWordWrap(true);
    Comments->setGeometry(8, 82, 283, 57);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(120, 180, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    if (QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAboutBox::FormShow()
{
    if (ownerImages_)
        QApplication::setWindowIcon(ownerImages_->icon(Tag));
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

} // namespace lotfinch::gui
