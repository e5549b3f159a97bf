#pragma once

#include <QImage>
#include <QObject>
#include <string>
#include <string_view>
#include <vector>

namespace lotfinch::gui {

// Named pictures that hint markup can show with an image tag. Pictures come
// only from the program itself: markup never loads anything.
class PictureContainer : public QObject
{
    Q_OBJECT
public:
    explicit PictureContainer(QObject *owner = nullptr) : QObject(owner) {}

    // Adds picture under name, replacing one of the same name (letter case aside).
    void Add(const std::string &name, const QImage &picture);
    // The picture called name, or nullptr.
    const QImage *FindPicture(std::string_view name) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Clear() { items_.clear(); }

private:
    std::vector<std::pair<std::string, QImage>> items_;
};

} // namespace lotfinch::gui
