#pragma once

#include <QWidget>
#include <string>

class QLabel;

namespace lotfinch::gui {

// The progress popup: a borderless strip that shows one line of status text
// for a fixed time, blocking the caller meanwhile.
class ProgressPopup : public QWidget
{
    Q_OBJECT
public:
    explicit ProgressPopup(QWidget *owner);

    QLabel *panel; // raised panel filling the window, text centred

    // Shows text (UTF-8) for duration milliseconds: the window becomes 6 pixels wide
    // per character, centred across the screen, and is hidden afterwards
    // only if hideAfter is set. The caller waits meanwhile: no timer ticks
    // and no user input, but the window system's calls are answered.
    void ShowStatus(quint16 duration, const std::string &text, bool hideAfter);

    // Makes the text visible before the caller's wait.
    void formShown();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
};

} // namespace lotfinch::gui
