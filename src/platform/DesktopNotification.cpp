#include "platform/DesktopNotification.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace lotfinch::platform {

namespace {

const QString Service = "org.freedesktop.Notifications";
const QString Path = "/org/freedesktop/Notifications";
const QString Interface = "org.freedesktop.Notifications";
// The key of a notification's own action, beside "default" (a click on it).
const QString ActionKey = "lotfinch-action";

// Why the service says a notification went.
constexpr quint32 ClosedExpired = 1, ClosedDismissed = 2;

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}

} // namespace

DesktopNotification::DesktopNotification(const QDBusConnection &bus, QObject *parent) : QObject(parent), bus_(bus)
{
    if (!bus_.isConnected())
        return;
    bus_.connect(Service, Path, Interface, "NotificationClosed", this, SLOT(notificationClosed(quint32, quint32)));
    bus_.connect(Service, Path, Interface, "ActionInvoked", this, SLOT(actionInvoked(quint32, QString)));
}

DesktopNotification::~DesktopNotification()
{
    if (id_ != 0)
        sendClose(id_);
}

bool DesktopNotification::show(const QString &title, const QString &text, const QString &iconName, int timeoutMs,
                               bool clickable, const QString &action)
{
    if (!bus_.isConnected())
        return false;
    pending_ = Request{title, text, iconName, timeoutMs, clickable, action};
    wanted_ = true;
    // The service may have been replaced since it was last asked.
    capabilitiesKnown_ = false;
    pump();
    return true;
}

void DesktopNotification::close()
{
    pending_.reset();
    wanted_ = false;
    pump();
}

void DesktopNotification::pump()
{
    if (busy_)
        return;
    if (pending_ && !capabilitiesKnown_) {
        askCapabilities();
    } else if (pending_) {
        Request request = *pending_;
        pending_.reset();
        send(request);
    } else if (!wanted_ && id_ != 0) {
        sendClose(id_);
        id_ = 0;
    }
}

void DesktopNotification::askCapabilities()
{
    busy_ = true;
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *watcher) {
        watcher->deleteLater();
        QDBusPendingReply<QStringList> reply = *watcher;
        busy_ = false;
        capabilitiesKnown_ = true;
        // A service that takes markup would read a phrase such as "<b>" or
        // "R&D" as markup: then the text goes escaped.
        bodyMarkup_ = reply.isValid() && reply.value().contains("body-markup");
        actions_ = reply.isValid() && reply.value().contains("actions");
        pump();
    });
}

void DesktopNotification::send(const Request &request)
{
    busy_ = true;
    QDBusMessage message = call("Notify");
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue<uchar>(1));
    // A balloon has no buttons, and some services show even the default
    // action (a click on the notification) as one: only a clickable
    // notification carries it.
    QStringList actions;
    if (request.clickable && actions_)
        actions << "default"
                << "Open";
    if (!request.action.isEmpty() && actions_)
        actions << ActionKey << request.action;
    message << QCoreApplication::applicationName() << id_ << request.iconName << request.title
            << (bodyMarkup_ ? request.text.toHtmlEscaped() : request.text) << actions << hints
            << qint32(request.timeoutMs);
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *watcher) {
        watcher->deleteLater();
        QDBusPendingReply<quint32> reply = *watcher;
        busy_ = false;
        if (reply.isValid()) {
            id_ = reply.value();
            // Taken back while it was on its way: pump() closes it.
            if (wanted_ && !pending_)
                emit shown();
        }
        pump();
    });
}

void DesktopNotification::sendClose(quint32 id)
{
    QDBusMessage message = call("CloseNotification");
    message << id;
    bus_.asyncCall(message);
}

void DesktopNotification::notificationClosed(quint32 id, quint32 reason)
{
    if (id == 0 || id != id_)
        return;
    id_ = 0;
    if (reason == ClosedExpired || reason == ClosedDismissed)
        emit expired();
    else
        emit closedElsewhere();
}

void DesktopNotification::actionInvoked(quint32 id, const QString &action)
{
    if (id == 0 || id != id_)
        return;
    if (action == "default")
        emit clicked();
    else if (action == ActionKey)
        emit actionChosen();
}

} // namespace lotfinch::platform
