#include "platform/MessageWindow.h"

namespace lotfinch::platform {

void MessageWindow::dispose()
{
    if (disposed_)
        return;
    disposed_ = true;
    shutDown();
    if (depth_ == 0)
        delete this;
}

MessageWindow::Delivery::~Delivery()
{
    // The delivery that disposed of the window was the last thing using it.
    if (--window_.depth_ == 0 && window_.disposed_)
        window_.deleteLater();
}

} // namespace lotfinch::platform
