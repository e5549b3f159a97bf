#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

namespace lotfinch::platform {

// One balloon's worth of the desktop's notification service
// (org.freedesktop.Notifications): at most one notification is up at a time
// and a new one takes the place of the last. Every call to the service is
// asynchronous, so a slow service never holds up the program; where none
// runs, nothing is shown.
class DesktopNotification : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotification(const QDBusConnection &bus, QObject *parent = nullptr);
    // Takes a notification that is still up with it.
    ~DesktopNotification() override;

    // Sends title and text (plain text) with the named standard icon; the
    // service keeps it up for about timeoutMs. A clickable notification
    // reports a click on it, and one with an action label offers that
    // action, where the service takes actions. False when there is no
    // session bus to send it on.
    bool show(const QString &title, const QString &text, const QString &iconName, int timeoutMs, bool clickable = false,
              const QString &action = QString());
    // Takes the notification back, or the one still on its way.
    void close();

signals:
    // The service put the notification up.
    void shown();
    // It timed out, or the user dismissed it.
    void expired();
    // Someone else took it back.
    void closedElsewhere();
    // The user clicked the notification (its default action).
    void clicked();
    // The user chose the notification's action.
    void actionChosen();

private slots:
    void notificationClosed(quint32 id, quint32 reason);
    void actionInvoked(quint32 id, const QString &action);

private:
    struct Request
    {
        QString title, text, iconName;
        int timeoutMs = 0;
        bool clickable = false;
        QString action;
    };

    // Moves on to the next call once no other is on its way: the service
    // answers in order, and the id of one notification is needed to replace
    // or close it.
    void pump();
    void askCapabilities();
    void send(const Request &request);
    void sendClose(quint32 id);

    QDBusConnection bus_;
    std::optional<Request> pending_;
    bool wanted_ = false;
    bool busy_ = false;
    bool capabilitiesKnown_ = false;
    bool bodyMarkup_ = false;
    bool actions_ = false;
    quint32 id_ = 0;
};

} // namespace lotfinch::platform
