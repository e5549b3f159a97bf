#include "platform/Application.h"

#include "platform/MessageBox.h"

namespace lotfinch::platform {

LotfinchApplication::LotfinchApplication(int &argc, char **argv) : QApplication(argc, argv)
{}

bool LotfinchApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        showErrorBox(error);
    } catch (...) {
        showErrorBox(std::runtime_error("Unknown error"));
    }
    return false;
}

void showErrorBox(const std::exception &error)
{
    MessageBoxService::ask(QApplication::activeWindow(), error.what(), std::string(), MsgIcon::Error, MsgButtons::OK);
}

} // namespace lotfinch::platform
