#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ErrorBox.h"

// Every test executable runs inside a QApplication on the offscreen platform
// unless a display platform was chosen explicitly.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    lotfinch::platform::LotfinchApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
