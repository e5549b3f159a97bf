#include "gui/ScreenFit.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace lotfinch::gui {

namespace {

class GrowthRefusal : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::WindowStateChange && (window->windowState() & grown) &&
            window->minimumSize() == window->maximumSize()) {
            // Once every part of the program has seen the change.
            QMetaObject::invokeMethod(
                window, [window] { window->setWindowState(window->windowState() & ~grown); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    static constexpr Qt::WindowStates grown{Qt::WindowMaximized | Qt::WindowFullScreen};
};

} // namespace

QSize RoomForWindow(const QWidget *window)
{
    const QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QScreen *screen = owner ? owner->screen() : window->screen();
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    QSize room = screen->availableGeometry().size();
    // The owner's frame tells what the desktop adds (nothing before it showed).
    if (owner)
        room -= owner->frameGeometry().size() - owner->size();
    return room;
}

void FitIntoRoom(QWidget *window, QWidget *stretch, QSize room)
{
    const QRect area = stretch->geometry();
    const QSize least = stretch->minimumSizeHint().expandedTo(QSize(0, 0));
    int widthToSpare = area.width() - least.width();
    const int heightToSpare = area.height() - least.height();
    QList<QWidget *> below;
    for (QWidget *child : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || child->isHidden() || child->y() <= area.bottom())
            continue;
        below << child;
        if (child->width() != window->width()) {
            const int margin = std::min(child->x(), window->width() - child->x() - child->width());
            widthToSpare = std::min(widthToSpare, 2 * margin);
        }
    }
    const int dw = std::clamp(window->width() - room.width(), 0, std::max(widthToSpare, 0));
    const int dh = std::clamp(window->height() - room.height(), 0, std::max(heightToSpare, 0));
    if (dw == 0 && dh == 0)
        return;
    for (QWidget *child : below) {
        QRect place = child->geometry().translated(0, -dh);
        if (place.width() == window->width())
            place.setWidth(place.width() - dw);
        else
            place.translate(-dw / 2, 0);
        child->setGeometry(place);
    }
    stretch->resize(area.width() - dw, area.height() - dh);
    window->setFixedSize(window->width() - dw, window->height() - dh);
}

void RefuseToGrow(QWidget *window)
{
    window->installEventFilter(new GrowthRefusal(window));
}

} // namespace lotfinch::gui
