#pragma once

#include <QApplication>
#include <exception>

namespace lotfinch::platform {

// The application object. An exception that escapes any event handler or slot
// ends up here: its text is shown in the standard error box and the program
// goes on with the next event.
class LotfinchApplication : public QApplication
{
public:
    LotfinchApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Shows the standard error box for an exception (owner: the active window).
void showErrorBox(const std::exception &error);

} // namespace lotfinch::platform
