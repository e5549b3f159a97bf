#include <gtest/gtest.h>

#include "gui/HtmlHint.h"

using lotfinch::gui::PlaceHintWindow;

namespace {

TEST(HintPlacement, EndsTwoPixelsInsideTheNearestScreen)
{
    // Two screens side by side, the right one shorter.
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    struct Case
    {
        QPoint pos;
        QSize size;
        QRect placed;
    };
    const Case cases[] = {
        {{100, 100}, {200, 50}, QRect(100, 100, 200, 50)},                // fits: unchanged
        {{1800, 100}, {200, 50}, QRect(1918 - 200, 100, 200, 50)},        // past the right edge
        {{100, 1060}, {200, 50}, QRect(100, 1078 - 50, 200, 50)},         // past the bottom
        {{1900, 1070}, {200, 50}, QRect(1718, 1028, 200, 50)},            // both
        {{3100, 1000}, {200, 50}, QRect(3198 - 200, 1022 - 50, 200, 50)}, // on the second screen
        {{3300, 2000}, {200, 50}, QRect(2998, 972, 200, 50)},             // off every screen: the nearest
        {{10, 10}, {3000, 50}, QRect(0, 10, 3000, 50)},                   // wider than the screen keeps its start
    };
    for (const Case &c : cases)
        EXPECT_EQ(PlaceHintWindow(c.pos, c.size, screens), c.placed) << c.pos.x() << "," << c.pos.y();
    EXPECT_EQ(PlaceHintWindow({5, 5}, {10, 10}, {}), QRect(5, 5, 10, 10));
}

} // namespace
