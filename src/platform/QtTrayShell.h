#pragma once

#include <QDBusConnection>
#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/DesktopNotification.h"
#include "platform/TrayShell.h"

class QSystemTrayIcon;

namespace lotfinch::platform {

// The notification area through QSystemTrayIcon: one Qt tray icon per added
// record, on an X11 tray or a StatusNotifier host, whichever Qt found at
// start. Qt's activation reasons and balloon clicks come back as the mouse and
// balloon events of the record's callback message. A StatusNotifier host
// shows the record's menu itself, and its activation comes as a double-click.
//
// Where a balloon cannot be shown by the icon (no notification area, or a
// StatusNotifier host, which has no balloons of its own) it goes to the
// desktop's notification service on bus. An icon added while there is no
// notification area is kept for its balloons, and shown once an area comes.
class QtTrayShell : public TrayShell
{
    Q_OBJECT
public:
    explicit QtTrayShell(QObject *parent = nullptr, const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~QtTrayShell() override;

    bool notifyIcon(TrayRequest request, const NotifyIconData &data) override;
    bool available() const override;
    QPoint cursorPos() const override;
    Qt::KeyboardModifiers keyboardModifiers() const override;
    int doubleClickTime() const override;
    void popupMenu(QMenu *menu, QPoint pos) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void trayHostChanged();
    // Icons waiting for a notification area are added again once there is one.
    void trayHostCame();
    // Drops the icons of a receiver that has gone: its owner can no longer remove them.
    void receiverDestroyed(QObject *receiver);

private:
    struct Icon
    {
        // None while no notification area shows the icon.
        std::unique_ptr<QSystemTrayIcon> tray;
        // Balloons that go to the notification service.
        std::unique_ptr<DesktopNotification> notification;
        QPointer<TrayReceiver> receiver;
        quint32 id = 0;
        quint32 callbackMessage = 0;
        bool balloonShowing = false;
        QTimer balloonTimer;
        void post(quint32 event) const;
    };
    using Key = std::pair<const QObject *, quint32>;

    Icon &keep(const NotifyIconData &data);
    void show(Icon &icon, const NotifyIconData &data);
    void apply(Icon &icon, const NotifyIconData &data);
    bool applyBalloon(Icon &icon, const NotifyIconData &data);
    void balloonGone(Icon &icon, quint32 event);

    QDBusConnection bus_;
    // Qt shows its icons through a StatusNotifier host.
    bool statusNotifier_ = false;
    std::map<Key, std::unique_ptr<Icon>> icons_;
};

} // namespace lotfinch::platform
