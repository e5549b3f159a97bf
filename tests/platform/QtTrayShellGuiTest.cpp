#include <gtest/gtest.h>

#include "platform/QtTrayShell.h"

using namespace lotfinch::platform;

// The offscreen platform has no notification area, like a desktop without a
// tray host: every request fails and nothing else happens.
TEST(QtTrayShell, WithoutANotificationAreaEveryRequestFails)
{
    QtTrayShell shell;
    TrayReceiver *receiver = new TrayReceiver([](quint32, quint32, quint32) {});
    NotifyIconData data;
    data.hWnd = receiver;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    setField(data.szTip, "Lotfinch");
    EXPECT_FALSE(shell.available());
    for (TrayRequest request : {NIM_ADD, NIM_MODIFY, NIM_SETVERSION, NIM_DELETE})
        EXPECT_FALSE(shell.notifyIcon(request, data)) << request;
    EXPECT_GT(shell.doubleClickTime(), 0);
    receiver->dispose();
}
