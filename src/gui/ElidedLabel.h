#pragma once

#include <QLabel>

namespace lotfinch::gui {

// A one-line label that shows its whole text where it fits and elides it in
// the middle where it does not, with the whole text as its tooltip then
// (written as hint markup: the program's hints are drawn by HtmlHint). A
// screen reader always hears the whole text.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // The whole text. (They hide QLabel's, whose text is what shows.)
    QString text() const { return text_; }
    void setText(const QString &text);

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString text_;
};

} // namespace lotfinch::gui
