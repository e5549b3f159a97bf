#pragma once

class QWidget;

namespace lotfinch::windows {

// Makes window, about to be shown, belong to its owner window while that is
// on the screen: tiling desktops then float it over the owner. A window that
// belongs to a hidden or minimised one would be hidden with it, so then it
// stands alone.
void BelongToShownOwner(QWidget *window);

} // namespace lotfinch::windows
