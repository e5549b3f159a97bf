#pragma once

#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/TrayShell.h"

class QSystemTrayIcon;

namespace lotfinch::platform {

// The notification area through QSystemTrayIcon: one Qt tray icon per added
// record. Qt's activation reasons and balloon clicks come back as the mouse
// and balloon events of the record's callback message.
class QtTrayShell : public TrayShell
{
    Q_OBJECT
public:
    explicit QtTrayShell(QObject *parent = nullptr);
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
    // Drops the icons of a receiver that has gone: its owner can no longer remove them.
    void receiverDestroyed(QObject *receiver);

private:
    struct Icon
    {
        std::unique_ptr<QSystemTrayIcon> tray;
        QPointer<TrayReceiver> receiver;
        quint32 id = 0;
        quint32 callbackMessage = 0;
        bool balloonShowing = false;
        QTimer balloonTimer;
        void post(quint32 event) const;
    };
    using Key = std::pair<const QObject *, quint32>;

    void add(const NotifyIconData &data);
    void apply(Icon &icon, const NotifyIconData &data);
    void applyBalloon(Icon &icon, const NotifyIconData &data);

    std::map<Key, std::unique_ptr<Icon>> icons_;
};

} // namespace lotfinch::platform
