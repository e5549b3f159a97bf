#include "platform/DesktopSession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

namespace lotfinch::platform {

void SettleDesktopSession(QGuiApplication &app)
{
    QGuiApplication::setDesktopFileName(DesktopEntryName);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // Workaround: Qt's X11 windows take their class from the application
        // name as it stands when the first one is made, and keep it. The
        // class is the desktop entry's name; the application name stays, as
        // the title of message boxes and the name of the data folder.
        const QString name = app.applicationName();
        app.setApplicationName(DesktopEntryName);
        QWindow first;
        first.create();
        app.setApplicationName(name);
    }
}

void WaitAnsweringWindowSystem(QDeadlineTimer deadline, const std::function<bool()> &done)
{
    QTimer wake; // so that each wait for events ends in time to look again
    wake.start(20);
    while (!(done && done()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace lotfinch::platform
