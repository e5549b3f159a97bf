#include "platform/DesktopSession.h"

#include <QCoreApplication>
#include <QTimer>

namespace lotfinch::platform {

void WaitAnsweringWindowSystem(QDeadlineTimer deadline, const std::function<bool()> &done)
{
    QTimer wake; // so that each wait for events ends in time to look again
    wake.start(20);
    while (!(done && done()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace lotfinch::platform
