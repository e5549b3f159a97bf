#include "gui/AppImages.h"

#include <QPainter>
#include <functional>

#include "gui/PictureWidgets.h"

namespace lotfinch::gui {

namespace {

using Draw = std::function<void(QPainter &, qreal)>;

// Draws a picture into pixmaps of 16, 24 and 32 pixels; the drawing works in a
// 16-unit square scaled to the pixmap, with pen widths kept whole at each size.
QIcon drawn(const Draw &draw)
{
    QIcon icon;
    for (int size : {16, 24, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(size / 16.0, size / 16.0);
        draw(painter, size / 16.0);
        painter.end();
        // A copy: the painted pixmap keeps the paint engine it was drawn with.
        icon.addPixmap(pixmap.copy());
    }
    return icon;
}

void badge(QPainter &p, const QColor &fill, const QColor &edge)
{
    p.setPen(QPen(edge, 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
}

void label(QPainter &p, const QString &text, const QColor &colour, int pixelSize)
{
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(pixelSize);
    font.setStretch(text.size() > 2 ? QFont::Condensed : QFont::SemiCondensed);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
}

QIcon siteBadge(const QColor &fill, const QColor &edge, const QString &text, const QColor &ink = Qt::white)
{
    return drawn([=](QPainter &p, qreal) {
        badge(p, fill, edge);
        label(p, text, ink, 8);
    });
}

void magnifier(QPainter &p, const QColor &rim)
{
    p.setPen(QPen(rim, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(QColor(220, 235, 250));
    p.drawEllipse(QRectF(2, 2, 8.5, 8.5));
    p.setPen(QPen(QColor(90, 60, 30), 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
}

void page(QPainter &p, const QColor &lines)
{
    p.setPen(QPen(QColor(90, 90, 90), 1.0));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 1.5, 11, 13));
    p.setPen(QPen(lines, 1.0));
    for (qreal y : {4.5, 7.5, 10.5}) {
        p.drawPoint(QPointF(4.5, y));
        p.drawLine(QPointF(6, y), QPointF(11.5, y));
    }
}

QIcon redCross(bool round)
{
    return drawn([=](QPainter &p, qreal) {
        p.setPen(QPen(QColor(140, 0, 0), 1.0));
        p.setBrush(QColor(210, 40, 40));
        if (round)
            p.drawEllipse(QRectF(1, 1, 14, 14));
        else
            p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
    });
}

QIcon linksList()
{
    return drawn([](QPainter &p, qreal) { page(p, QColor(0, 70, 170)); });
}

} // namespace

void FillMenuImages(desktop::ImageList &list)
{
    list.set(0, drawn([](QPainter &p, qreal) {
                 p.setPen(QPen(QColor(0, 60, 140), 1.0));
                 p.setBrush(QColor(40, 110, 210));
                 p.drawEllipse(QRectF(1, 1, 14, 14));
                 label(p, "i", Qt::white, 11);
             }));
    list.set(3, redCross(true));
    list.set(5, drawn([](QPainter &p, qreal) { gui::DrawProgramIcon(p, QRectF(0, 0, 16, 16)); }));
    list.set(7, drawn([](QPainter &p, qreal) {
                 p.setPen(QPen(QColor(80, 20, 20), 1.0));
                 p.setBrush(QColor(170, 40, 40));
                 p.drawRect(QRectF(2.5, 1.5, 10, 13));
                 p.setBrush(QColor(250, 245, 230));
                 p.drawRect(QRectF(4.5, 3.5, 9, 11));
                 p.setPen(QPen(QColor(120, 120, 120), 1.0));
                 for (qreal y : {6.5, 9.0, 11.5})
                     p.drawLine(QPointF(6, y), QPointF(12, y));
             }));
    list.set(8, drawn([](QPainter &p, qreal) {
                 p.setPen(QPen(QColor(40, 40, 90), 1.0));
                 p.setBrush(Qt::white);
                 p.drawRect(QRectF(1.5, 2.5, 13, 11));
                 p.setBrush(QColor(40, 90, 190));
                 p.drawRect(QRectF(1.5, 2.5, 13, 3));
             }));
    list.set(9, linksList());
}

void FillTrayImages(desktop::ImageList &list)
{
    list.set(0, drawn([](QPainter &p, qreal) { magnifier(p, QColor(90, 90, 100)); }));
    list.set(1, siteBadge(QColor(20, 80, 190), QColor(10, 40, 110), "US"));
    list.set(2, siteBadge(QColor(215, 30, 40), QColor(120, 10, 20), "CA"));
    list.set(3, siteBadge(QColor(20, 30, 90), QColor(200, 20, 40), "UK"));
    list.set(4, siteBadge(QColor(0, 130, 70), QColor(250, 200, 0), "AU", QColor(255, 220, 40)));
    list.set(5, siteBadge(QColor(240, 130, 20), QColor(150, 70, 0), "uB"));
    list.set(6, siteBadge(QColor(120, 40, 150), QColor(60, 10, 80), "All"));
    list.set(7, drawn([](QPainter &p, qreal) { magnifier(p, QColor(0, 120, 60)); }));
    list.set(8, drawn([](QPainter &p, qreal) { gui::DrawProgramIcon(p, QRectF(0, 0, 16, 16)); }));
    list.set(9, drawn([](QPainter &p, qreal) { magnifier(p, QColor(200, 120, 0)); }));
    list.set(10, linksList());
}

QIcon ButtonGlyph(Glyph glyph)
{
    switch (glyph) {
    case Glyph::Start:
        return drawn([](QPainter &p, qreal) {
            p.setPen(QPen(QColor(0, 100, 0), 1.0));
            p.setBrush(QColor(40, 170, 60));
            p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
        });
    case Glyph::Auctions: return linksList();
    case Glyph::Exit: return redCross(false);
    }
    return {};
}

} // namespace lotfinch::gui
