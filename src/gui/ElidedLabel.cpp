#include "gui/ElidedLabel.h"

#include <QEvent>

#include "core/TextUtils.h"

namespace lotfinch::gui {

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setText(const QString &text)
{
    text_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    // Room for the ellipsis alone: a layout may make the label narrower than its text.
    return {fontMetrics().horizontalAdvance(QChar(0x2026)), QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void ElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(text_, Qt::ElideMiddle, contentsRect().width());
    if (shown != QLabel::text())
        QLabel::setText(shown);
    setToolTip(shown == text_ ? QString() : QString::fromStdString(core::HintMarkupText(text_.toStdString())));
    setAccessibleName(text_);
}

} // namespace lotfinch::gui
