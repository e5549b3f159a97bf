#include "gui/OwnedWindow.h"

#include <QWidget>
#include <QWindow>

namespace lotfinch::gui {

void BelongToShownOwner(QWidget *window)
{
    QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const bool ownerShown = owner && owner->isVisible() && !owner->isMinimized() && owner->isActiveWindow();
    window->winId();
    if (QWindow *handle = window->windowHandle())
        handle->setTransientParent(ownerShown ? owner->windowHandle() : nullptr);
}

} // namespace lotfinch::gui
