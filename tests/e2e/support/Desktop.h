#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

// Looking at and acting on the X11 desktop that run-e2e sets up, the way a
// person would: through xdotool and screenshots, never through the program's
// own objects.
namespace lotfinch::e2e {

using WindowId = quint64;

// Runs a tool and returns what it printed; empty if it failed or hung.
QString runTool(const QString &program, const QStringList &arguments);

// The windows of process pid that are mapped on the screen.
std::vector<WindowId> visibleWindows(qint64 pid);
// Of those, the ones whose title matches the regular expression title.
std::vector<WindowId> visibleWindows(qint64 pid, const QString &title);
// The window's place on the screen, or an empty rectangle.
QRect geometry(WindowId window);
// The tray host's panel, or an empty rectangle if there is none.
QRect trayPanel();
// The visible windows of pid that sit in the tray host's panel: its tray icons.
std::vector<WindowId> trayIcons(qint64 pid);
// The visible windows of pid that are neither tray icons nor in except.
std::vector<WindowId> otherWindows(qint64 pid, const std::vector<WindowId> &except = {});

// Moves the pointer to the point and clicks button (1 left, 3 right) count times.
void click(QPoint at, int button, int count = 1);
void movePointer(QPoint to);
void pressKey(const QString &key);

// Lets this process paint, then saves the whole screen as <build>/e2e-screenshots/<test>-<step>.png and
// returns the file name.
QString screenshot(const QString &step);

// The program under test (the real lotfinch executable).
QString programPath();

} // namespace lotfinch::e2e
