#pragma once

#include <QAccessible>

class QWidget;

// How the program's own widget classes present themselves to assistive
// technology (AT-SPI on Linux): Qt reports a top-level QWidget as a nameless
// filler and a drawn picture as nothing in particular. Qt's own classes keep
// the interfaces Qt gives them.
namespace lotfinch::gui {

// The widget is reported with role (a frame, a notification, a graphic...).
// Call it before the widget gets its title or is shown: Qt keeps the first
// interface it makes for a widget.
void SetAccessibleRole(QWidget *widget, QAccessible::Role role);

} // namespace lotfinch::gui
