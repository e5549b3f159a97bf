#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPixmap>
#include <map>
#include <tuple>

#include "windows/HintLayout.h"

class QPainter;
class QPalette;

namespace lotfinch::platform {
class ImageList;
}

namespace lotfinch::windows {

class TPictureContainer;

// The pictures hint markup may name: "IDX:n" from the image list, any other
// name from the picture container. Either may be missing.
struct HintPictures
{
    const platform::ImageList *images = nullptr;
    const TPictureContainer *pictures = nullptr;

    // A null pixmap when there is no such picture.
    QPixmap find(std::string_view source) const;
};

QFont ToQFont(const HintFont &font);

// The colour to paint with; system colours come from palette.
QColor ResolveHintColor(HintColor color, const QPalette &palette);

// Measures hint text with the fonts of this system.
class QtHintMetrics : public HintMetrics
{
public:
    explicit QtHintMetrics(HintPictures pictures) : pictures_(pictures) {}

    int textWidth(const HintFont &font, std::string_view text) override;
    int textHeight(const HintFont &font) override;
    std::optional<HintSize> pictureSize(std::string_view source) override;

private:
    const QFontMetrics &metricsFor(const HintFont &font);

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
void PaintHintLayout(QPainter &painter, const HintLayout &layout, QPoint origin, const HintPaintStyle &style,
                     const QPalette &palette);

} // namespace lotfinch::windows
