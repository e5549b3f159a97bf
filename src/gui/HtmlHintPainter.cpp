#include "gui/HtmlHintPainter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <array>

#include "desktop/ImageList.h"
#include "gui/PictureContainer.h"
#include "text/AnsiText.h"
#include "text/Utf8Text.h"

namespace lotfinch::gui {

namespace {

struct SystemColor
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The system colours 1..24 by the palette roles that play their part here.
constexpr std::array<SystemColor, 24> systemColors{{
    {QPalette::Active, QPalette::Dark},            // background (the desktop)
    {QPalette::Active, QPalette::Highlight},       // active caption
    {QPalette::Inactive, QPalette::Mid},           // inactive caption
    {QPalette::Active, QPalette::Window},          // menu
    {QPalette::Active, QPalette::Base},            // window
    {QPalette::Active, QPalette::Shadow},          // window frame
    {QPalette::Active, QPalette::WindowText},      // menu text
    {QPalette::Active, QPalette::Text},            // window text
    {QPalette::Active, QPalette::HighlightedText}, // caption text
    {QPalette::Active, QPalette::Window},          // active border
    {QPalette::Inactive, QPalette::Window},        // inactive border
    {QPalette::Active, QPalette::Mid},             // application workspace
    {QPalette::Active, QPalette::Highlight},       // highlight
    {QPalette::Active, QPalette::HighlightedText}, // highlight text
    {QPalette::Active, QPalette::Button},          // button face
    {QPalette::Active, QPalette::Dark},            // button shadow
    {QPalette::Disabled, QPalette::Text},          // grey text
    {QPalette::Active, QPalette::ButtonText},      // button text
    {QPalette::Disabled, QPalette::WindowText},    // inactive caption text
    {QPalette::Active, QPalette::Light},           // button highlight
    {QPalette::Active, QPalette::Shadow},          // 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},        // 3-D light
    {QPalette::Active, QPalette::ToolTipText},     // info text
    {QPalette::Active, QPalette::ToolTipBase},     // info background
}};

constexpr std::string_view pictureIndexPrefix = "IDX:";

void drawSquiggle(QPainter &painter, int left, int right, int y)
{
    QPolygon zigzag;
    for (int x = left, n = 0; x <= right; x += 2, ++n)
        zigzag << QPoint(x, y + (n % 2 ? 2 : 0));
    painter.setPen(QPen(Qt::red, 1));
    painter.drawPolyline(zigzag);
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void paintText(QPainter &painter, const core::HintItem &item, QPoint at, const HintPaintStyle &style,
               const QPalette &palette)
{
    QFont font = ToQFont(item.font);
    QFontMetrics metrics(font);
    QRect box(at, QSize(item.width, item.height));
    if (item.background.kind != core::HintColor::Kind::None)
        painter.fillRect(box, ResolveHintColor(item.background, palette));
    QString text = fromUtf8(item.text);
    painter.setFont(font);
    QPoint baseline(at.x(), at.y() + metrics.ascent());
    if (item.shadow) {
        painter.setPen(style.shadowColor);
        painter.drawText(baseline + QPoint(style.shadowOffset, style.shadowOffset), text);
    }
    QColor color = ResolveHintColor(item.color, palette);
    painter.setPen(color);
    painter.drawText(baseline, text);
    // The underlined characters come in order, each at the byte offset where
    // it starts: each one's place is measured on from the one before, so a
    // run full of them is measured once.
    painter.setPen(QPen(color, std::max(1, metrics.lineWidth())));
    const int y = baseline.y() + metrics.underlinePos();
    const std::string_view bytes = item.text;
    int left = at.x();
    size_t measuredTo = 0;
    for (int mnemonic : item.mnemonics) {
        const auto index = static_cast<size_t>(mnemonic);
        if (mnemonic < 0 || index < measuredTo || index >= bytes.size())
            continue;
        left += metrics.horizontalAdvance(fromUtf8(bytes.substr(measuredTo, index - measuredTo)));
        measuredTo = index;
        int width = metrics.horizontalAdvance(fromUtf8(bytes.substr(index, text::utf8CharLength(bytes, index))));
        painter.drawLine(left, y, left + width - 1, y);
    }
    if (item.squiggle)
        drawSquiggle(painter, box.left(), box.right(), baseline.y() + 1);
}

} // namespace

QPixmap HintPictures::find(std::string_view source) const
{
    if (source.size() > pictureIndexPrefix.size() &&
        text::sameTextAnsi(source.substr(0, pictureIndexPrefix.size()), pictureIndexPrefix)) {
        if (!images)
            return {};
        bool ok = false;
        int index = QString::fromLatin1(source.substr(pictureIndexPrefix.size())).toInt(&ok);
        QIcon icon = ok ? images->icon(index) : QIcon();
        if (icon.isNull())
            return {};
        QList<QSize> sizes = icon.availableSizes();
        return icon.pixmap(sizes.isEmpty() ? QSize(16, 16) : sizes.first());
    }
    if (pictures)
        if (const QImage *picture = pictures->FindPicture(source))
            return QPixmap::fromImage(*picture);
    return {};
}

QFont ToQFont(const core::HintFont &font)
{
    QFont qt(fromUtf8(font.face));
    qt.setPointSize(font.points);
    qt.setBold(font.bold);
    qt.setItalic(font.italic);
    qt.setUnderline(font.underline);
    qt.setStrikeOut(font.strikeOut);
    return qt;
}

QColor ResolveHintColor(core::HintColor color, const QPalette &palette)
{
    switch (color.kind) {
    case core::HintColor::Kind::Rgb: return QColor::fromRgb(color.value);
    case core::HintColor::Kind::System:
        if (color.value >= 1 && color.value <= systemColors.size()) {
            const SystemColor &system = systemColors[color.value - 1];
            return palette.color(system.group, system.role);
        }
        break;
    case core::HintColor::Kind::None: break;
    }
    return Qt::black;
}

const QFontMetrics &QtHintMetrics::metricsFor(const core::HintFont &font)
{
    int flags = font.bold | font.italic << 1 | font.underline << 2 | font.strikeOut << 3;
    auto key = std::make_tuple(font.face, font.points, flags);
    auto found = cache_.find(key);
    if (found == cache_.end())
        found = cache_.emplace(key, QFontMetrics(ToQFont(font))).first;
    return found->second;
}

int QtHintMetrics::textWidth(const core::HintFont &font, std::string_view text)
{
    return metricsFor(font).horizontalAdvance(fromUtf8(text));
}

int QtHintMetrics::textHeight(const core::HintFont &font)
{
    return metricsFor(font).height();
}

std::optional<core::HintSize> QtHintMetrics::pictureSize(std::string_view source)
{
    QPixmap picture = pictures_.find(source);
    if (picture.isNull())
        return std::nullopt;
    return core::HintSize{picture.width(), picture.height()};
}

void PaintHintLayout(QPainter &painter, const core::HintLayout &layout, QPoint origin, const HintPaintStyle &style,
                     const QPalette &palette)
{
    painter.save();
    for (const core::HintItem &item : layout.items) {
        QPoint at = origin + QPoint(item.x, item.y);
        QRect box(at, QSize(item.width, item.height));
        switch (item.kind) {
        case core::HintItemKind::Text: paintText(painter, item, at, style, palette); break;
        case core::HintItemKind::Picture:
            if (QPixmap picture = style.pictures.find(item.text); !picture.isNull())
                painter.drawPixmap(box, picture);
            break;
        case core::HintItemKind::Rule:
            painter.setPen(ResolveHintColor(item.color, palette));
            painter.drawLine(box.left(), box.center().y(), box.right(), box.center().y());
            break;
        case core::HintItemKind::Fill:
            if (item.background == item.color) {
                painter.fillRect(box, ResolveHintColor(item.color, palette));
            } else {
                QLinearGradient gradient(box.topLeft(), box.topRight());
                gradient.setColorAt(0, ResolveHintColor(item.color, palette));
                gradient.setColorAt(1, ResolveHintColor(item.background, palette));
                painter.fillRect(box, gradient);
            }
            break;
        }
    }
    painter.restore();
}

} // namespace lotfinch::gui
