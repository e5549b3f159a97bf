#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPixmap>
#include <map>
#include <tuple>

#include "core/HintLayout.h"

class QPainter;
class QPalette;

namespace lotfinch::desktop {
class ImageList;
}

namespace lotfinch::gui {

class PictureContainer;

// The pictures hint markup may name: "IDX:n" from the image list, any other
// name from the picture container. Either may be missing.
struct HintPictures
{
    const desktop::ImageList *images = nullptr;
    const PictureContainer *pictures = nullptr;

    // A null pixmap when there is no such picture.
    QPixmap find(std::string_view source) const;
};

QFont ToQFont(const core::HintFont &font);

// The colour to paint with; system colours come from palette.
QColor ResolveHintColor(core::HintColor color, const QPalette &palette);

// Measures hint text with the fonts of this system.
class QtHintMetrics : public core::HintMetrics
{
public:
    explicit QtHintMetrics(HintPictures pictures) : pictures_(pictures) {}

    int textWidth(const core::HintFont &font, std::string_view text) override;
    int textHeight(const core::HintFont &font) override;
    std::optional<core::HintSize> pictureSize(std::string_view source) override;

private:
    const QFontMetrics &metricsFor(const core::HintFont &font);

    HintPictures pictures_;
    std::map<std::tuple<std::string, int, int>, QFontMetrics> cache_;
};

struct HintPaintStyle
{
    HintPictures pictures;
    QColor shadowColor{128, 128, 128};
    int shadowOffset = 1;
};

// Draws a laid-out hint with its top-left corner at origin.
void PaintHintLayout(QPainter &painter, const core::HintLayout &layout, QPoint origin, const HintPaintStyle &style,
                     const QPalette &palette);

} // namespace lotfinch::gui
