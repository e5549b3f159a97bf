#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <functional>

// The pictures and plain picture controls of the splash and About windows.
namespace lotfinch::gui {

// The program's JPEG pictures (assets/), decoded through libjpeg.
enum class Picture { Splash, Logo, About };
QImage LoadPicture(Picture picture);

// The program icon, drawn (not a bitmap) so that it stays sharp at any size:
// the finch in a 16-unit square scaled to box.
void DrawProgramIcon(QPainter &painter, const QRectF &box);

// A picture control: a bitmap or a drawing, stretched to the control or drawn
// at its own size (then from the top-left corner, or centred), clipped to the
// control. Transparent where it draws nothing.
class ImageBox : public QWidget
{
    Q_OBJECT
public:
    explicit ImageBox(QWidget *parent);

    void SetPicture(const QImage &image);
    void SetDrawing(std::function<void(QPainter &, const QRectF &)> drawing);
    const QImage &PictureImage() const { return image_; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage image_;
    std::function<void(QPainter &, const QRectF &)> drawing_;
    bool stretch_ = false;
    bool center_ = false;
};

// A bevel: a raised box (light top and left edges, dark bottom and right) or
// a raised frame (an etched double line), drawn over what lies behind it.
class Bevel : public QWidget
{
    Q_OBJECT
public:
    enum class Shape { Box, Frame };
    Bevel(QWidget *parent, Shape shape);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Shape shape_;
};

} // namespace lotfinch::gui
