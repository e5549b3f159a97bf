#include "gui/AboutDialog.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "desktop/ImageList.h"
#include "gui/AccessibleRoles.h"
#include "gui/PictureWidgets.h"
#include "gui/ScreenFit.h"
#include "gui/SplashScreen.h"
#include "text/AnsiText.h"

namespace lotfinch::gui {

namespace {

// The title drawn over its shadow, 1 pixel right and 3 down: one label, so
// that a screen reader hears the title once.
class ShadowedLabel : public QLabel
{
public:
    static constexpr QPoint ShadowOffset{1, 3};

    ShadowedLabel(const QString &text, QColor shadow, QWidget *parent) : QLabel(text, parent), shadow_(shadow)
    {
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    // Fits the label to its text and the shadow.
    void fitText()
    {
        adjustSize();
        resize(size() + QSize(ShadowOffset.x(), ShadowOffset.y()));
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        {
            QPainter painter(this);
            painter.setPen(shadow_);
            painter.drawText(contentsRect().translated(ShadowOffset), static_cast<int>(alignment()), text());
        }
        QLabel::paintEvent(event);
    }

private:
    QColor shadow_;
};

} // namespace

AboutDialog::AboutDialog(QWidget *owner, desktop::ImageList *ownerImages)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ownerImages_(ownerImages)
{
    setObjectName("AboutBox");
    setWindowTitle("About Lotfinch");
    setFixedSize(316, 213);
    RefuseToGrow(this);
    setFont(QFont("MS Sans Serif", 8));

    panel = new QFrame(this);
    panel->setObjectName("panel");
    panel->setGeometry(10, 10, 300, 161);
    // Lowered outside, raised inside: a sunken frame holding a raised panel.
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    auto *inner = new QFrame(panel);
    inner->setGeometry(1, 1, 298, 159);
    inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    inner->setAttribute(Qt::WA_TransparentForMouseEvents);

    programIcon = new ImageBox(panel);
    programIcon->setObjectName("programIcon");
    programIcon->setGeometry(274, 134, 24, 24);
    programIcon->SetDrawing(DrawProgramIcon);
    SetAccessibleRole(programIcon, QAccessible::Graphic);
    programIcon->setAccessibleName("Lotfinch program icon");

    auto label = [&](const char *name, const QString &text, int left, int top, const QFont &font) {
        auto *l = new QLabel(text, panel);
        l->setObjectName(name);
        l->setFont(font);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    QFont versionFont("Tahoma");
    versionFont.setPixelSize(12);
    version = label("version", "Version 2.0.1, March 2012", 146, 48, versionFont);

    copyright = label("copyright", text::fromAnsi(CopyrightNotice), 3, 144, QFont("Tahoma", 8));
    copyright->setGeometry(3, 144, 275, 15);
    copyright->setWordWrap(true);

    picture = new ImageBox(panel);
    picture->setObjectName("picture");
    picture->setGeometry(14, 2, 85, 85);
    picture->SetPicture(LoadPicture(Picture::About));
    picture->SetStretch(true);
    SetAccessibleRole(picture, QAccessible::Graphic);
    picture->setAccessibleName("Lotfinch picture");

    QFont titleFont("Trebuchet MS");
    titleFont.setPixelSize(19);
    titleFont.setBold(true);
    auto *shadowedTitle = new ShadowedLabel("Lotfinch Desktop", palette().color(QPalette::Midlight), panel);
    shadowedTitle->setObjectName("title");
    shadowedTitle->setFont(titleFont);
    shadowedTitle->move(96, 11);
    shadowedTitle->fitText();
    title = shadowedTitle;

    comments = label("comments",
                     "This auction site crawling utility will continually search ebay and other English-laguage "
                     "auction sites to find new and existing listings matching your search term.",
                     8, 82, QFont("Arial", 8));
    comments->setWordWrap(true);
    comments->setGeometry(8, 82, 283, 57);
    comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    okButton = new QPushButton("OK", this);
    okButton->setObjectName("okButton");
    okButton->setGeometry(120, 180, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    if (QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void AboutDialog::formShown()
{
    if (ownerImages_)
        QApplication::setWindowIcon(ownerImages_->icon(iconIndex));
}

void AboutDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        formShown();
}

} // namespace lotfinch::gui
