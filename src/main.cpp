#include <cstdio>

#include "core/ProgramInfo.h"
#include "desktop/SingleInstance.h"
#include "gui/MainWindow.h"
#include "platform/Application.h"
#include "platform/DesktopSession.h"

int main(int argc, char **argv)
{
    // --version and --help answer at once, with no window and no splash.
    if (int code = lotfinch::core::AnswerInformationRequest(argc, argv, stdout, stderr); code >= 0)
        return code;

    const bool platformChosen = lotfinch::platform::ChoosePlatform();
    lotfinch::platform::LotfinchApplication app(argc, argv);
    app.setApplicationName("Lotfinch Desktop 2.0");
    lotfinch::platform::SettleDesktopSession(app, platformChosen);
    // While a copy runs for this user, this one hands its arguments over (or
    // not, as the running copy's limit says) and ends before any window.
    if (!lotfinch::desktop::SingleInstance::StartUp(app.arguments()))
        return 0;
    // The window hides into the tray; only closing it ends the program.
    app.setQuitOnLastWindowClosed(false);
    auto *form = new lotfinch::gui::MainWindow;
    QObject::connect(form, &QObject::destroyed, &app, &QCoreApplication::quit);
    form->show();
    return app.exec();
}
