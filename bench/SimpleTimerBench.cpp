// The cost of programming a SimpleTimer against Qt's own timer calls, and
// how often an idle event loop wakes up with an hour-long timer armed.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <sys/resource.h>

#include "BenchRatio.h"
#include "desktop/SimpleTimer.h"

using lotfinch::desktop::SimpleTimer;

namespace {

void BM_SimpleTimerRearm(benchmark::State &state)
{
    SimpleTimer timer(3600000, [](SimpleTimer *) {});
    for (auto _ : state) {
        timer.setEnabled(true);
        timer.setEnabled(false);
    }
}
BENCHMARK(BM_SimpleTimerRearm);

void BM_QtTimerRearm(benchmark::State &state)
{
    QObject object;
    for (auto _ : state) {
        int id = object.startTimer(3600000);
        object.killTimer(id);
    }
}
BENCHMARK(BM_QtTimerRearm);

double nsPerRearm(const std::function<void()> &rearm)
{
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 20000; ++i)
            rearm();
        runs.push_back(static_cast<double>(clock.nsecsElapsed()) / 20000);
    }
    return lotfinch::bench::median(runs);
}

// Times the GUI thread gave up the processor while its event loop idled.
long idleWakeups(int ms)
{
    rusage before{}, after{};
    getrusage(RUSAGE_THREAD, &before);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    getrusage(RUSAGE_THREAD, &after);
    return after.ru_nvcsw - before.ru_nvcsw;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    SimpleTimer timer(3600000, [](SimpleTimer *) {});
    QObject object;
    double ours = nsPerRearm([&] {
        timer.setEnabled(true);
        timer.setEnabled(false);
    });
    double baseline = nsPerRearm([&] { object.killTimer(object.startTimer(3600000)); });
    lotfinch::bench::printRatio("simple_timer_rearm", ours, baseline, "ns");

    // Idle for two seconds with nothing armed, then with an hour-long timer:
    // the timer must add no wake-ups of its own.
    long quiet = idleWakeups(2000);
    timer.setEnabled(true);
    long armed = idleWakeups(2000);
    lotfinch::bench::printRatio("simple_timer_idle_wakeups", static_cast<double>(armed + 1),
                                static_cast<double>(quiet + 1), "wake-ups+1 in 2 s");
    return 0;
}
