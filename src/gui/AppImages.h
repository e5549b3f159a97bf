#pragma once

#include <QIcon>

#include "desktop/ImageList.h"

// The program's own pictures, drawn at the two sizes they are shown at
// (16 pixels in menus and the tray, 24 on buttons and larger trays).
namespace lotfinch::gui {

// The menu images: 0 About, 3 Exit, 5 the system submenu, 7 Product Manual,
// 8 Open, 9 Links to Found Items.
void FillMenuImages(desktop::ImageList &list);

// The tray images: 0 searching, 1..5 one per real site, 6 all sites;
// 8 the application icon; 10 the found-items window.
void FillTrayImages(desktop::ImageList &list);

enum class Glyph { Start, Auctions, Exit };
QIcon ButtonGlyph(Glyph glyph);

} // namespace lotfinch::gui
