#include "platform/DesktopSession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace lotfinch::platform {

namespace {
constexpr char PlatformVariable[] = "QT_QPA_PLATFORM";

// The waits that answer the window system now running, innermost last, and
// the commands held until they end.
int waitsRunning = 0;
struct HeldCommand
{
    QPointer<QObject> context;
    std::function<void()> command;
};
std::vector<HeldCommand> heldCommands;

// Hands the held commands back to the event loop once no wait runs; one that
// arrives in a later wait is held again.
void releaseHeldCommands()
{
    std::vector<HeldCommand> held;
    held.swap(heldCommands);
    for (HeldCommand &entry : held)
        if (entry.context)
            QMetaObject::invokeMethod(
                entry.context.data(),
                [context = entry.context.data(), command = std::move(entry.command)]() mutable {
                    RunOutsideWaits(context, std::move(command));
                },
                Qt::QueuedConnection);
}
} // namespace

std::optional<QByteArray> PreferredPlatform(const std::function<QByteArray(const char *)> &env)
{
    if (!env(PlatformVariable).isEmpty())
        return std::nullopt;
    const bool wayland = !env("WAYLAND_DISPLAY").isEmpty() || env("XDG_SESSION_TYPE") == "wayland";
    if (!wayland || env("DISPLAY").isEmpty())
        return std::nullopt;
    // Through Xwayland the desktop tells the program when its window is
    // minimised and restored (the way into the tray) and lets it place its
    // windows; Qt on Wayland learns neither.
    return QByteArray("xcb;wayland");
}

bool ChoosePlatform()
{
    std::optional<QByteArray> platform = PreferredPlatform([](const char *name) { return qgetenv(name); });
    if (platform)
        qputenv(PlatformVariable, *platform);
    return platform.has_value();
}

void SettleDesktopSession(QGuiApplication &app, bool platformChosen)
{
    // The browser and the manual's viewer choose for themselves.
    if (platformChosen)
        qunsetenv(PlatformVariable);
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

void WaitAnsweringWindowSystem(QDeadlineTimer deadline, const std::function<bool()> &done,
                               QEventLoop::ProcessEventsFlags flags)
{
    // Looks for events every few milliseconds: a wait for more events could
    // outlast the deadline when timers are excluded.
    constexpr qint64 LookEveryMs = 10;
    ++waitsRunning;
    struct EndOfWait
    {
        ~EndOfWait()
        {
            if (--waitsRunning == 0)
                releaseHeldCommands();
        }
    } endOfWait;
    for (;;) {
        QCoreApplication::processEvents(flags | QEventLoop::ExcludeUserInputEvents);
        if ((done && done()) || deadline.hasExpired())
            return;
        QThread::msleep(static_cast<unsigned long>(std::clamp<qint64>(deadline.remainingTime(), 1, LookEveryMs)));
    }
}

void RunOutsideWaits(QObject *context, std::function<void()> command)
{
    if (waitsRunning > 0)
        heldCommands.push_back({context, std::move(command)});
    else
        command();
}

} // namespace lotfinch::platform
