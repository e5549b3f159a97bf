#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/DesktopSession.h"

using lotfinch::platform::PreferredPlatform;

TEST(DesktopSession, AWaylandSessionWithXwaylandRunsOnX11UnlessTheUserChose)
{
    struct Case
    {
        const char *what;
        std::map<std::string, QByteArray> env;
        std::optional<QByteArray> platform;
    };
    const Case cases[] = {
        {"GNOME, KDE or sway", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, "xcb;wayland"},
        {"session type alone", {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}, "xcb;wayland"},
        {"no Xwayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, std::nullopt},
        {"the user's choice",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}},
         std::nullopt},
        {"an X11 session", {{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, std::nullopt},
    };
    for (const Case &c : cases) {
        auto env = [&](const char *name) {
            auto found = c.env.find(name);
            return found == c.env.end() ? QByteArray() : found->second;
        };
        EXPECT_EQ(PreferredPlatform(env), c.platform) << c.what;
    }
}
