#include "gui/PictureContainer.h"

#include "text/AnsiText.h"

namespace lotfinch::gui {

void PictureContainer::Add(const std::string &name, const QImage &picture)
{
    for (auto &[itemName, itemPicture] : items_) {
        if (text::sameTextAnsi(itemName, name)) {
            itemPicture = picture;
            return;
        }
    }
    items_.emplace_back(name, picture);
}

const QImage *PictureContainer::FindPicture(std::string_view name) const
{
    for (const auto &[itemName, picture] : items_)
        if (text::sameTextAnsi(itemName, name))
            return &picture;
    return nullptr;
}

} // namespace lotfinch::gui
