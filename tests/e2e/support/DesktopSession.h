#pragma once

#include <QRect>
#include <QString>
#include <optional>
#include <vector>

// The Wayland desktop session that a tools/desktops launcher started for the
// test (GNOME Shell, KDE Plasma or sway): its windows, pointer, keyboard,
// screen and tray, through each desktop's own means (tools/desktops/<kind>-input.sh
// and shot.sh). Whatever differs between the desktops stays in here.
namespace lotfinch::e2e {

// A window as the compositor lists it.
struct ShownWindow
{
    qint64 pid = 0;
    QString title;
    QRect frame; // with the decoration the compositor or the program draws
    bool minimized = false;
    QString appId; // Wayland app id, or X11 class
    bool x11 = false;
    bool focused = false; // has the keyboard
    // "fixed" (the desktop neither resizes nor maximises it) or "resizable";
    // empty where the desktop does not tell (sway).
    QString sizing;

    // Parses one line of the input scripts' window list
    // (pid|title|x,y,w,h|min/norm|app id|x11/wayland|focus[|fixed/resizable]);
    // nothing if it is no such line.
    static std::optional<ShownWindow> parse(const QString &line);
};

class DesktopSession
{
public:
    // The session the launcher described in the environment (DESKTOP_KIND,
    // DESKTOP_WORK) and tools/desktops (LOTFINCH_DESKTOP_TOOLS). It makes the
    // session's runtime folder this process's again.
    DesktopSession();

    // gnome, kde or sway; empty outside a session.
    QString kind() const { return kind_; }

    std::vector<ShownWindow> windows(qint64 pid) const;
    // The first window of pid whose title contains title.
    std::optional<ShownWindow> window(qint64 pid, const QString &title) const;
    // Raises and focuses it, as a click on it in the task bar would.
    void activate(const QString &title) const;

    void click(QPoint at, int button = 1) const;
    // Types text into the window with the keyboard focus.
    void type(const QString &text) const;
    // Presses a key by its X11 name (Return, Escape, ...).
    void key(const QString &name) const;

    // What the clipboard holds as text; empty if nothing does.
    QString clipboardText() const;

    // Saves the whole screen as <folder>/<name>.png (LOTFINCH_SCREENSHOTS) and
    // returns the file; empty if the desktop took none.
    QString screenshot(const QString &name) const;

    // Where the desktop shows a notification on its 1280x800 screen: GNOME's
    // banner at the top middle, Plasma's popup over the panel at the bottom
    // right, mako's at the top right.
    QRect notificationArea() const;

    // Whether a tray (a StatusNotifier host) runs in the session.
    bool hasTray() const;
    // Sends a click to the entry of pid's tray menu whose label (without its
    // mnemonic) starts with label, as the tray host does when the entry is
    // picked; false if there is no such entry.
    bool pickTrayMenuEntry(qint64 pid, const QString &label) const;

private:
    QString input(const QStringList &arguments) const;

    QString kind_;
    QString tools_;
};

} // namespace lotfinch::e2e
