#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "gui/MainWindow.h"
#include "platform/Application.h"

// Every test executable runs inside a QApplication on the offscreen platform
// unless a display platform was chosen explicitly.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Test processes run side by side as one user: each keeps its runtime
    // objects (the single-instance claim) to itself, so that two main windows
    // in two tests never meet as copies of one program.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    testing::InitGoogleTest(&argc, argv);
    lotfinch::platform::LotfinchApplication app(argc, argv);
    // Many tests create the main window; its splash need not hold each one up.
    lotfinch::gui::MainWindow::SplashDotWait = std::chrono::milliseconds(1);
    return RUN_ALL_TESTS();
}
