#pragma once

#include <QIcon>
#include <QObject>
#include <vector>

namespace lotfinch::desktop {

// A numbered list of images shared by menus, the tray icon and windows.
// Components that refer to one hold a QPointer, so its destruction clears them.
class ImageList : public QObject
{
    Q_OBJECT
public:
    explicit ImageList(QObject *owner = nullptr) : QObject(owner) {}

    int count() const { return static_cast<int>(icons_.size()); }
    // The image at index, or a null icon outside the list.
    QIcon icon(int index) const { return index >= 0 && index < count() ? icons_[static_cast<size_t>(index)] : QIcon(); }
    void add(const QIcon &icon) { icons_.push_back(icon); }
    void set(int index, const QIcon &icon)
    {
        if (index >= count())
            icons_.resize(static_cast<size_t>(index) + 1);
        icons_[static_cast<size_t>(index)] = icon;
    }

private:
    std::vector<QIcon> icons_;
};

} // namespace lotfinch::desktop
