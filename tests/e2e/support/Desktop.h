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
// The window's place on the screen (its client area, without the window
// manager's frame), or an empty rectangle.
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
// Types text into the window that has the keyboard focus.
void typeText(const QString &text);

// What the X clipboard holds as text (xclip); empty if nobody owns it.
QString clipboardText();

// The text that OCR reads in an area of the screen, or of a saved screenshot
// when image names one; one line per line of text.
QString readText(QRect area, const QString &image = QString());
// Where OCR finds the words, one after the other on one line, in the area;
// an empty rectangle if they are not there. Letter case and punctuation
// around a word do not matter.
QRect findText(QRect area, const QString &words, const QString &image = QString());
// Text with typographic quotes made plain and runs of white space made one
// blank, so that what OCR reads compares with what the program wrote.
QString plainText(const QString &text);
// The first of the windows of pid, other than its tray icons and except, in
// which OCR reads text (compared as plainText); 0 if there is none.
WindowId windowShowing(qint64 pid, const QString &text, const std::vector<WindowId> &except = {});

// Lets this process paint, then saves the whole screen as <build>/e2e-screenshots/<test>-<step>.png and
// returns the file name.
QString screenshot(const QString &step);
// The same for an area of the screen only.
QString screenshot(const QString &step, QRect area);

// The program under test (the real lotfinch executable).
QString programPath();

} // namespace lotfinch::e2e
