#include <gtest/gtest.h>

#include <memory>

#include "desktop/SimpleTimer.h"
#include "support/TestUtil.h"

using lotfinch::desktop::SharedTimerHandler;
using lotfinch::desktop::SimpleTimer;
using lotfinch::test::runEventsFor;
using lotfinch::test::waitUntil;

namespace {

// A timer that counts its ticks.
struct Counted
{
    int ticks = 0;
    SimpleTimer timer;
    explicit Counted(int interval) : timer(interval, [this](SimpleTimer *) { ++ticks; }) {}
};

} // namespace

TEST(SimpleTimer, ArmingNeedsEnabledAndAPositiveInterval)
{
    struct Case
    {
        int interval;
        bool enable;
        bool enabledAfter;
    };
    for (Case c : {Case{30, false, false}, Case{30, true, true}, Case{0, true, false}, Case{-5, true, false}}) {
        SCOPED_TRACE(testing::Message() << "interval " << c.interval << " enable " << c.enable);
        Counted counted(c.interval);
        if (c.enable)
            counted.timer.setEnabled(true);
        EXPECT_EQ(counted.timer.Enabled(), c.enabledAfter);
        EXPECT_EQ(counted.timer.ticking(), c.enabledAfter);
        if (c.enabledAfter) {
            EXPECT_TRUE(waitUntil([&] { return counted.ticks >= 2; }));
        } else {
            runEventsFor(150);
            EXPECT_EQ(counted.ticks, 0);
        }
    }
}

TEST(SimpleTimer, OnlyARealChangeRestartsTheCountdown)
{
    // A 20 ms timer touches a 150 ms timer on every tick. Touches that restart
    // the countdown keep the slow timer from ever ticking.
    struct Case
    {
        const char *name;
        std::function<void(SimpleTimer &, int round)> touch;
        bool slowTicks;
    };
    const Case cases[] = {
        {"same interval", [](SimpleTimer &t, int) { t.setInterval(150); }, true},
        {"a new interval", [](SimpleTimer &t, int round) { t.setInterval(round % 2 ? 151 : 150); }, false},
        {"enabled again", [](SimpleTimer &t, int) { t.setEnabled(true); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Counted slow(150);
        slow.timer.setEnabled(true);
        int rounds = 0;
        SimpleTimer fast(20, [&](SimpleTimer *) { c.touch(slow.timer, ++rounds); });
        fast.setEnabled(true);
        if (c.slowTicks) {
            EXPECT_TRUE(waitUntil([&] { return slow.ticks >= 2; }));
        } else {
            EXPECT_TRUE(waitUntil([&] { return rounds >= 40; }));
            EXPECT_EQ(slow.ticks, 0);
            EXPECT_TRUE(slow.timer.Enabled());
        }
    }
}

TEST(SimpleTimer, PausedTimersStayEnabledAndResumeOnlyWhenTold)
{
    struct Case
    {
        const char *name;
        std::function<void(SimpleTimer &)> pause;
        std::function<void(SimpleTimer &)> resume;
    };
    const Case cases[] = {
        {"interval 0", [](SimpleTimer &t) { t.setInterval(0); }, [](SimpleTimer &t) { t.setInterval(25); }},
        {"handler cleared, resumed by Enabled", [](SimpleTimer &t) { t.setOnTick(nullptr); },
         [](SimpleTimer &t) { t.setEnabled(true); }},
        {"handler cleared, resumed by a new interval", [](SimpleTimer &t) { t.setOnTick(nullptr); },
         [](SimpleTimer &t) { t.setInterval(35); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Counted counted(20);
        auto handler = counted.timer.OnTick();
        counted.timer.setEnabled(true);
        ASSERT_TRUE(waitUntil([&] { return counted.ticks >= 1; }));

        c.pause(counted.timer);
        EXPECT_TRUE(counted.timer.Enabled());
        EXPECT_FALSE(counted.timer.ticking());
        // Giving the handler back is not enough to resume.
        counted.timer.setOnTick(handler);
        EXPECT_FALSE(counted.timer.ticking());
        int before = counted.ticks;
        runEventsFor(120);
        EXPECT_EQ(counted.ticks, before);

        c.resume(counted.timer);
        EXPECT_TRUE(counted.timer.Enabled());
        EXPECT_TRUE(waitUntil([&] { return counted.ticks > before; }));
        counted.timer.setEnabled(false);
        EXPECT_FALSE(counted.timer.Enabled());
        EXPECT_FALSE(counted.timer.ticking());
    }
}

TEST(SimpleTimer, TwoTimersTickIndependently)
{
    auto quick = std::make_unique<Counted>(15);
    Counted slow(45);
    quick->timer.setEnabled(true);
    slow.timer.setEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return quick->ticks >= 3 && slow.ticks >= 1; }));

    quick.reset();
    int slowBefore = slow.ticks;
    EXPECT_TRUE(waitUntil([&] { return slow.ticks >= slowBefore + 2; }));
    EXPECT_EQ(SharedTimerHandler()->UserCount, 1u);
}

TEST(SimpleTimer, SharedHandlerLivesExactlyAsLongAsTheTimers)
{
    ASSERT_EQ(SharedTimerHandler(), nullptr);
    auto first = std::make_unique<SimpleTimer>();
    auto second = std::make_unique<SimpleTimer>(500, nullptr);
    ASSERT_NE(SharedTimerHandler(), nullptr);
    EXPECT_EQ(SharedTimerHandler()->UserCount, 2u);
    EXPECT_NE(first->id(), second->id());
    EXPECT_EQ(first->Interval(), 1000);
    EXPECT_FALSE(first->Enabled());

    first.reset();
    EXPECT_EQ(SharedTimerHandler()->UserCount, 1u);
    second.reset();
    EXPECT_EQ(SharedTimerHandler(), nullptr);

    // A timer made afterwards brings up a new handler and works.
    Counted again(10);
    ASSERT_NE(SharedTimerHandler(), nullptr);
    again.timer.setEnabled(true);
    EXPECT_TRUE(waitUntil([&] { return again.ticks >= 1; }));
}

TEST(SimpleTimer, TimersFreedFromTicksNeverTickAgain)
{
    // The last timer frees itself from its own tick: its handler goes too.
    int selfTicks = 0;
    auto *self = new SimpleTimer(10, nullptr);
    self->setOnTick([&](SimpleTimer *sender) {
        ++selfTicks;
        delete sender;
    });
    self->setEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return selfTicks == 1; }));
    EXPECT_EQ(SharedTimerHandler(), nullptr);
    runEventsFor(60);
    EXPECT_EQ(selfTicks, 1);

    // Two timers due together: the first frees the second, whose pending tick
    // must not reach it (the sanitizer build would catch a use after free).
    for (int round = 0; round < 5; ++round) {
        bool secondFreed = false;
        int lateTicks = 0;
        auto *second = new SimpleTimer(10, [&](SimpleTimer *) { lateTicks += secondFreed ? 1 : 0; });
        SimpleTimer first(10, [&](SimpleTimer *sender) {
            if (!secondFreed) {
                delete second;
                secondFreed = true;
            }
            sender->setEnabled(false);
        });
        first.setEnabled(true);
        second->setEnabled(true);
        ASSERT_TRUE(waitUntil([&] { return secondFreed; }));
        runEventsFor(40);
        EXPECT_EQ(lateTicks, 0);
    }
}
