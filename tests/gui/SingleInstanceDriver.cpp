// The program's start-up for the single-instance tests, as one small program
// that every copy runs from the same file: the real start-up check and, in the
// first copy, the real main window (not shown). It prints "first" once it
// takes hand-overs, then one line per hand-over: the text of the main
// window's message box, with CR and LF written as \r and \n.
//   LOTFINCH_MAX_NEW_INSTANCES  the first copy's limit (default 0)
//   LOTFINCH_TRANSPORT_TIMEOUT  how long a new copy waits for the first (ms)
#include <cstdio>

#include "desktop/SingleInstance.h"
#include "gui/MainWindow.h"
#include "platform/Application.h"
#include "platform/MessageBox.h"

using namespace lotfinch;

int main(int argc, char **argv)
{
    platform::LotfinchApplication app(argc, argv);
    bool set = false;
    const int timeout = qEnvironmentVariableIntValue("LOTFINCH_TRANSPORT_TIMEOUT", &set);
    if (!desktop::SingleInstance::StartUp(app.arguments(), set ? static_cast<uint32_t>(timeout) : 3000))
        return 0;

    gui::MainWindow form;
    form.singleInstance->setMaxNewInstances(
        static_cast<int8_t>(qEnvironmentVariableIntValue("LOTFINCH_MAX_NEW_INSTANCES")));
    auto showMessage = form.singleInstance->OnNewInstanceLoad;
    form.singleInstance->OnNewInstanceLoad = [&](uint32_t handle, const QString &commandLine) {
        platform::MessageBoxService::preAnswer(platform::MsgAnswer::OK);
        showMessage(handle, commandLine);
        QByteArray text = QByteArray::fromStdString(platform::MessageBoxService::answeredQuestions().back().text);
        std::printf("%s\n", text.replace("\r", "\\r").replace("\n", "\\n").constData());
        std::fflush(stdout);
    };
    std::printf("first\n");
    std::fflush(stdout);
    return app.exec();
}
