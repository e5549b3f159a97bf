#include <gtest/gtest.h>

#include <QPointer>
#include <vector>

#include "platform/TimerService.h"
#include "support/TestUtil.h"

using lotfinch::platform::TimerService;
using lotfinch::test::waitUntil;

TEST(TimerService, TimersAreKeyedByIdAndReplacedBySameId)
{
    std::vector<quint32> ticks;
    auto *service = new TimerService([&](quint32 id) { ticks.push_back(id); });

    EXPECT_TRUE(service->start(7, 1000000));
    EXPECT_TRUE(service->start(7, 15)); // replaces the hour-long one
    EXPECT_EQ(service->runningCount(), 1);
    EXPECT_FALSE(service->start(8, 0));
    EXPECT_FALSE(service->start(9, -1));
    EXPECT_FALSE(service->stop(8));
    EXPECT_FALSE(service->running(9));

    ASSERT_TRUE(waitUntil([&] { return ticks.size() >= 2; }));
    EXPECT_EQ(ticks.front(), 7u);
    EXPECT_TRUE(service->stop(7));
    EXPECT_FALSE(service->stop(7));
    service->dispose();
}

TEST(TimerService, DisposedFromItsOwnTickGoesAfterTheTick)
{
    int ticks = 0;
    TimerService *service = nullptr;
    QPointer<QObject> watch;
    service = new TimerService([&](quint32) {
        ++ticks;
        service->dispose();
        // Still usable until the tick returns.
        EXPECT_EQ(service->runningCount(), 0);
    });
    watch = service;
    service->start(1, 5);
    service->start(2, 5);
    ASSERT_TRUE(waitUntil([&] { return watch.isNull(); }));
    EXPECT_EQ(ticks, 1);
}
