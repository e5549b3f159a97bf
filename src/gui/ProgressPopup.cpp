#include "gui/ProgressPopup.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>
#include <algorithm>

#include "gui/AccessibleRoles.h"
#include "gui/OwnedWindow.h"
#include "platform/DesktopSession.h"

namespace lotfinch::gui {

namespace {
// How long a newly shown popup may take to reach the screen before the
// caller's sleep starts anyway.
constexpr int ExposeBoundMs = 1000;
} // namespace

ProgressPopup::ProgressPopup(QWidget *owner) : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName("UpdateUsForm");
    // Read out as a notification of the line it shows.
    SetAccessibleRole(this, QAccessible::Notification);
    setFont(QFont("MS Sans Serif", 8));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    // A fixed size: tiling desktops float such a window instead of filling
    // the screen with it.
    setFixedSize(374, 66);

    panel = new QLabel("Retrieving Source...", this);
    panel->setObjectName("panel");
    panel->setTextFormat(Qt::PlainText); // it names the user's phrase
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAlignment(Qt::AlignCenter);
    panel->setGeometry(rect());
    // No caption is drawn, but task switchers list the window by its title.
    setWindowTitle(panel->text());
}

void ProgressPopup::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    panel->setGeometry(rect());
}

void ProgressPopup::ShowStatus(quint16 duration, const std::string &text, bool hideAfter)
{
    const QString shown = QString::fromStdString(text);
    int width = static_cast<int>(std::min<qint64>(static_cast<qint64>(shown.size()) * 6, QWIDGETSIZE_MAX));
    setFixedSize(width, height());
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    int screenWidth = screen ? screen->geometry().width() : 0;
    int left = (screenWidth - width) / 2;
    panel->setText(shown);
    setAccessibleName(panel->text());
    if (!text.empty())
        setWindowTitle(panel->text());
    if (!isVisible()) {
        // Placed over the owner vertically; the left edge is the screen's centre.
        int top = y();
        if (QWidget *owner = parentWidget())
            top = owner->geometry().center().y() - height() / 2;
        move(left, top);
        show();
        formShown();
    } else {
        move(left, y());
    }
    repaint();
    // The caller waits, and so do its timers and the user's input; the
    // window system's calls are answered meanwhile.
    platform::WaitAnsweringWindowSystem(QDeadlineTimer(duration), {}, QEventLoop::X11ExcludeTimers);
    if (hideAfter)
        hide();
}

void ProgressPopup::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        BelongToShownOwner(this);
    QWidget::showEvent(event);
}

void ProgressPopup::formShown()
{
    // A new window is painted only once the display has it; until then a
    // repaint draws nothing, and the caller's sleep would leave it blank.
    // Input and timer ticks wait meanwhile, as they do during the sleep.
    platform::WaitAnsweringWindowSystem(
        QDeadlineTimer(ExposeBoundMs), [this] { return !windowHandle() || windowHandle()->isExposed(); },
        QEventLoop::X11ExcludeTimers);
    panel->repaint();
    repaint();
}

} // namespace lotfinch::gui
