#pragma once

#include <QSize>

class QWidget;

namespace lotfinch::gui {

// The room for the client area of window where it opens: over its owner (or
// on the primary screen without one), in that screen's work area, panels
// excluded, less the frame the desktop draws around the owner.
QSize RoomForWindow(const QWidget *window);

// Fits a fixed-size window, about to be shown, into room. Where its size fits,
// it keeps it. Otherwise stretch (its list or text) takes the loss: the shown
// child widgets below stretch move up with the window's bottom and keep their
// places from the window's centre, and those as wide as the window narrow with it.
// Stretch keeps its minimum size and the widgets below it stay whole, even
// where the window then does not fit.
void FitIntoRoom(QWidget *window, QWidget *stretch, QSize room);

// Keeps a fixed-size window out of the maximised and full-screen states it is
// asked into. Workaround: on Qt's Wayland platform the title bar that Qt draws
// (GNOME) offers to maximise every window, and the desktop follows although
// the window's fixed size tells it otherwise.
void RefuseToGrow(QWidget *window);

} // namespace lotfinch::gui
