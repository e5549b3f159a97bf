#pragma once

#include <QAccessible>

class QWidget;

// How the program's plain widgets present themselves to assistive technology
// (AT-SPI on Linux): Qt reports a top-level QWidget as a filler and a drawn
// picture as nothing in particular, so these give them the role a screen
// reader expects. Call them before the widget gets its title or is shown:
// Qt keeps the first interface it makes for a widget.
namespace lotfinch::windows {

// The widget is reported with role (a frame, a notification, a graphic...).
void SetAccessibleRole(QWidget *widget, QAccessible::Role role);

// The widget only decorates (a bevel, a title's shadow): reported as
// invisible, so that screen readers pass over it.
void SetDecorative(QWidget *widget);

} // namespace lotfinch::windows
