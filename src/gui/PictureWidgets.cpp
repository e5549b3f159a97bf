#include "gui/PictureWidgets.h"

#include <QFile>
#include <QPainterPath>

#include "platform/JpegImage.h"

// Resources of a static library need registering by name, from the global namespace.
static void registerPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace lotfinch::gui {

QImage LoadPicture(Picture picture)
{
    static const bool registered = (registerPictures(), true);
    (void)registered;
    const char *name = picture == Picture::Splash ? ":/pictures/splash.jpg"
                       : picture == Picture::Logo ? ":/pictures/logo.jpg"
                                                  : ":/pictures/about.jpg";
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return platform::DecodeJpeg(std::string_view(data.constData(), static_cast<size_t>(data.size())));
}

void DrawProgramIcon(QPainter &p, const QRectF &box)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(box.topLeft());
    p.scale(box.width() / 16.0, box.height() / 16.0);
    // body
    p.setPen(QPen(QColor(120, 80, 0), 0.8));
    p.setBrush(QColor(240, 190, 30));
    p.drawEllipse(QRectF(1.5, 4, 11, 9));
    // head cap
    p.setBrush(QColor(30, 30, 30));
    QPainterPath cap;
    cap.moveTo(7, 4.3);
    cap.cubicTo(8, 2, 12, 2, 12.5, 6);
    cap.lineTo(9, 6);
    cap.closeSubpath();
    p.drawPath(cap);
    // wing
    p.setBrush(QColor(40, 40, 40));
    QPainterPath wing;
    wing.moveTo(3, 8);
    wing.cubicTo(5, 7, 8, 8, 9, 11);
    wing.cubicTo(6, 12, 4, 11, 3, 8);
    p.drawPath(wing);
    // beak and eye
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 110, 40));
    p.drawPolygon(QPolygonF({QPointF(12.2, 6.2), QPointF(15.5, 7.5), QPointF(12.2, 8.8)}));
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(10, 5.8, 1.6, 1.6));
    // tail
    p.setBrush(QColor(40, 40, 40));
    p.drawPolygon(QPolygonF({QPointF(2.5, 9), QPointF(0, 12.5), QPointF(3.5, 11.5)}));
    p.restore();
}

ImageBox::ImageBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ImageBox::SetPicture(const QImage &image)
{
    image_ = image;
    drawing_ = nullptr;
    update();
}

void ImageBox::SetDrawing(std::function<void(QPainter &, const QRectF &)> drawing)
{
    drawing_ = std::move(drawing);
    image_ = QImage();
    update();
}

void ImageBox::SetStretch(bool value)
{
    stretch_ = value;
    update();
}

void ImageBox::SetCenter(bool value)
{
    center_ = value;
    update();
}

void ImageBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (drawing_) {
        drawing_(painter, QRectF(rect()));
        return;
    }
    if (image_.isNull())
        return;
    QRect target(QPoint(0, 0), image_.size());
    if (stretch_)
        target = rect();
    else if (center_)
        target.moveCenter(rect().center());
    painter.drawImage(target, image_);
}

Bevel::Bevel(QWidget *parent, Shape shape) : QWidget(parent), shape_(shape)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Bevel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    auto edges = [&](const QRect &box, const QColor &topLeft, const QColor &bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(box.topLeft(), box.topRight());
        painter.drawLine(box.topLeft(), box.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(box.bottomLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomRight());
    };
    if (shape_ == Shape::Box) {
        edges(r, light, dark);
    } else {
        edges(r.adjusted(1, 1, 0, 0), dark, dark);
        edges(r.adjusted(0, 0, -1, -1), light, light);
    }
}

} // namespace lotfinch::gui
