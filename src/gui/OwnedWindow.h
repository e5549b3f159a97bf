#pragma once

class QWidget;

namespace lotfinch::gui {

// Makes window, about to be shown, belong to its owner window while the user
// works in that: tiling desktops then float it over the owner. A window that
// belongs to a hidden or minimised one would be hidden with it, so otherwise
// it stands alone. (Qt on Wayland does not know whether a window is
// minimised; the owner being the active window tells.)
void BelongToShownOwner(QWidget *window);

} // namespace lotfinch::gui
