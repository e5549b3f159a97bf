#pragma once

#include <QMenu>
#include <QPointer>
#include <map>
#include <vector>

#include "platform/TrayShell.h"

namespace lotfinch::test {

// A notification area that records every request and keeps the icons it
// holds, with the shell's rules: an icon is added once, and only an icon that
// is there can be changed or removed. Installed for its lifetime.
class FakeTrayShell : public platform::TrayShell
{
public:
    struct Call
    {
        platform::TrayRequest request;
        platform::NotifyIconData data;
        bool result;
    };
    struct Popup
    {
        QPointer<QMenu> menu;
        QPoint pos;
    };

    FakeTrayShell() { install(this); }
    ~FakeTrayShell() override { install(nullptr); }

    bool notifyIcon(platform::TrayRequest request, const platform::NotifyIconData &data) override;
    bool available() const override { return hasTray; }
    QPoint cursorPos() const override { return cursor; }
    Qt::KeyboardModifiers keyboardModifiers() const override { return modifiers; }
    int doubleClickTime() const override { return doubleClickMs; }
    void popupMenu(QMenu *menu, QPoint pos) override { popups.push_back({menu, pos}); }

    // The record the area holds for an icon id, or nullptr.
    const platform::NotifyIconData *icon(quint32 id) const;
    // Requests of one kind, in order.
    std::vector<Call> callsOf(platform::TrayRequest request) const;

    // Sends event with the icon's callback message, as the area does for an
    // icon it holds.
    void send(quint32 id, quint32 event);
    // The area restarts: it forgets its icons and tells the program.
    void restart();

    bool hasTray = true;
    QPoint cursor{100, 200};
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    int doubleClickMs = 60;
    std::vector<Call> calls;
    std::vector<Popup> popups;

private:
    std::map<quint32, platform::NotifyIconData> icons_;
};

} // namespace lotfinch::test
