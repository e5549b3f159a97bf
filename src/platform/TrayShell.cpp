#include "platform/TrayShell.h"

#include <QCoreApplication>
#include <QPointer>

#include "platform/QtTrayShell.h"

namespace lotfinch::platform {

namespace {
TrayShell *installed = nullptr;
QPointer<TrayShell> real;
} // namespace

void TrayReceiver::post(quint32 message, quint32 iconId, quint32 event)
{
    QMetaObject::invokeMethod(
        this, [this, message, iconId, event] { deliver(message, iconId, event); }, Qt::QueuedConnection);
}

void TrayReceiver::deliver(quint32 message, quint32 iconId, quint32 event)
{
    if (!handler_)
        return;
    Delivery delivery(*this);
    // A copy, in case the handler disposes of this receiver.
    Handler handler = handler_;
    handler(message, iconId, event);
}

TrayShell &TrayShell::instance()
{
    if (installed)
        return *installed;
    // The real shell lives as long as the application object it works through.
    if (!real)
        real = new QtTrayShell(QCoreApplication::instance());
    return *real;
}

void TrayShell::install(TrayShell *shell)
{
    installed = shell;
}

} // namespace lotfinch::platform
