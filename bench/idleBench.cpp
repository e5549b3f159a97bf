// How frugal the program is while it waits for its next search.
//
// Idle: the real lotfinch executable on an X desktop with a tray host, pointed
// at the fixture auction site through http_proxy, is given a phrase and the
// hourly interval and started with xdotool as a person would; after its first
// pass it idles for 30 seconds, and its processor time, wake-ups and resident
// memory (from /proc) are set beside those of an idle `sleep` over the same
// stretch and beside the target of 10 ms a minute. The 30 seconds after those
// show whether anything wakes it up again. Its private memory at the end is
// set beside that of the smallest Qt Widgets program waiting in the same tray.
//
// Growth: the main window in this process, armed by its Start button, runs
// 1000 passes back to back against the fixture site, each from the event loop
// as a timer tick would; the resident memory after the 1000th pass is set
// beside the one after the 10th, once for a page with items (a "FOUND"
// balloon every pass) and once for a page without.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>
#include <vector>

#include "gui/MainWindow.h"
#include "support/Desktop.h"
#include "support/FixtureSite.h"
#include "support/ProcessFigures.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using bench::IdleFigures;
using bench::processFigures;

namespace {

constexpr int IdleSeconds = 30;
constexpr int Passes = 1000;
constexpr double TargetMsPerMinute = 10;
// Below this an idle process counts as doing nothing at all; it keeps the
// ratio finite when `sleep` uses no processor time.
constexpr double CpuFloorMsPerMinute = 0.01;
const char *const Phrase = "digital camera";
constexpr int HourlyInterval = 4;
const QString MainTitle = "^Lotfinch Lite 2.0$";

// The figure lines bench/run collects.
void printLine(const char *name, double ours, double baseline, const char *what)
{
    std::printf("%s: %.3f (%s)\n", name, baseline > 0 ? ours / baseline : 0.0, what);
    std::fflush(stdout);
}

int searchRequests(const test::FixtureSite &site)
{
    int count = 0;
    for (const QString &line : site.requestLines())
        count += line.contains("_nkw=") ? 1 : 0;
    return count;
}

// The real program hides into the tray only where a tray host runs: this
// program goes on a desktop of its own, the one the end-to-end tests use.
void runOnDesktop(char **argv)
{
    std::vector<char *> arguments{const_cast<char *>(LOTFINCH_DESKTOP_RUNNER)};
    for (char **argument = argv; *argument; ++argument)
        arguments.push_back(*argument);
    arguments.push_back(nullptr);
    execv(arguments[0], arguments.data());
    std::perror(LOTFINCH_DESKTOP_RUNNER);
    std::exit(1);
}

// Moves the pointer to a point of the window and clicks there. Positions
// relative to the window stay right whatever frame the window manager adds.
void clickIn(e2e::WindowId window, QPoint at)
{
    e2e::runTool("xdotool", {"mousemove", "--window", QString::number(window), QString::number(at.x()),
                             QString::number(at.y()), "click", "1"});
}

// Types the phrase, picks the hourly interval and presses Start in the
// program's main window, the way a person does.
void pressStart(e2e::WindowId window)
{
    clickIn(window, {191, 82}); // the phrase box
    e2e::runTool("xdotool", {"type", "--delay", "30", Phrase});
    e2e::pressKey("shift+Tab"); // the interval list comes before the phrase box
    e2e::pressKey("End");       // its last entry: once per hour
    clickIn(window, {59, 159}); // Start
}

// Where the processor time went, second by second and thread by thread, for
// whoever looks into a figure (standard error; bench/run keeps only the figures).
void printWhereTimeWent(const std::vector<bench::ProcessFigures> &samples)
{
    for (size_t i = 1; i < samples.size(); ++i)
        for (const auto &[tid, thread] : samples[i].threads) {
            auto before = samples[i - 1].threads.find(tid);
            bool old = before != samples[i - 1].threads.end();
            double ms = thread.runMs - (old ? before->second.runMs : 0);
            long wakeups = thread.wakeups - (old ? before->second.wakeups : 0);
            if (ms > 0 || wakeups > 0)
                std::fprintf(stderr, "idle: second %zu, thread %d %s: %.3f ms, %ld wake-ups\n", i, tid,
                             thread.name.c_str(), ms, wakeups);
        }
}

bool measureIdle()
{
    test::FixtureSite site;
    if (!site.started()) {
        std::fprintf(stderr, "fixture site: %s\n", qPrintable(site.diagnostics()));
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("http_proxy", site.proxyUrl());
    environment.remove("no_proxy");
    environment.remove("NO_PROXY");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(LOTFINCH_PROGRAM, {});
    QProcess sleeper;
    sleeper.start("sleep", {"600"});
    QProcess minimalTray;
    minimalTray.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    minimalTray.start(LOTFINCH_MINIMAL_TRAY, {});
    if (!program.waitForStarted() || !sleeper.waitForStarted() || !minimalTray.waitForStarted())
        return false;
    qint64 pid = program.processId();

    // The main window comes after the splash (about ten seconds).
    if (!test::waitUntil([&] { return e2e::visibleWindows(pid, MainTitle).size() == 1; }, 120000)) {
        std::fprintf(stderr, "idle: the main window did not show\n");
        return false;
    }
    pressStart(e2e::visibleWindows(pid, MainTitle).front());
    // The first pass comes three seconds after Start; it has ended once the
    // site logged its request and the "FOUND" balloon is up.
    if (!test::waitUntil([&] { return searchRequests(site) == 1; }, 30000)) {
        std::fprintf(stderr, "idle: no search request reached the site: %s\n",
                     qPrintable(site.requestLines().join('\n')));
        return false;
    }
    if (!test::waitUntil([&] { return !e2e::otherWindows(pid).empty(); }, 15000))
        std::fprintf(stderr, "idle: no balloon after the first pass\n");
    // The pass is over once its request's worker thread (named like the program) has ended.
    test::waitUntil([&] {
        auto threads = processFigures(static_cast<pid_t>(pid)).threads;
        return std::count_if(threads.begin(), threads.end(), [&](const auto &thread) {
                   return thread.second.name == threads[static_cast<pid_t>(pid)].name;
               }) == 1;
    });

    // Samples once a second see threads that end meanwhile (Qt ends its idle
    // pool threads after 30 s); this process sleeps in between. The stretch
    // after the one watched shows whether anything comes back periodically.
    std::vector<bench::ProcessFigures> oursSamples, sleepSamples;
    auto start = std::chrono::steady_clock::now();
    for (int second = 0; second <= 2 * IdleSeconds; ++second) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        oursSamples.push_back(processFigures(static_cast<pid_t>(pid)));
        sleepSamples.push_back(processFigures(static_cast<pid_t>(sleeper.processId())));
    }

    bench::ProcessFigures minimalTrayFigures = processFigures(static_cast<pid_t>(minimalTray.processId()));
    bool running = program.state() == QProcess::Running;
    int requests = searchRequests(site);
    for (QProcess *process : {&program, &sleeper, &minimalTray}) {
        process->terminate();
        process->waitForFinished();
    }
    if (!running || !oursSamples.back().valid || !sleepSamples.back().valid || !minimalTrayFigures.valid) {
        std::fprintf(stderr, "idle: the program ended while it should idle\n");
        return false;
    }
    if (requests != 1)
        std::fprintf(stderr, "idle: %d search requests instead of one\n", requests);

    printWhereTimeWent(oursSamples);
    auto firstHalf = [](const std::vector<bench::ProcessFigures> &samples) {
        return bench::idleFigures({samples.begin(), samples.begin() + IdleSeconds + 1});
    };
    IdleFigures ours = firstHalf(oursSamples);
    IdleFigures baseline = firstHalf(sleepSamples);
    IdleFigures later = bench::idleFigures({oursSamples.begin() + IdleSeconds, oursSamples.end()});
    double oursMs = ours.perMinute(ours.runMs);
    double baselineMs = baseline.perMinute(baseline.runMs);
    char what[256];
    std::snprintf(what, sizeof what, "ours %.3f ms/min / baseline %.3f ms/min, floor %.2f; over %.1f s", oursMs,
                  baselineMs, CpuFloorMsPerMinute, ours.seconds);
    printLine("idle_cpu_ms_per_min", oursMs, std::max(baselineMs, CpuFloorMsPerMinute), what);
    std::snprintf(what, sizeof what,
                  "ours %.3f ms/min / target %.0f ms/min; utime+stime %.0f ms/min, %.1f wake-ups/min, %d threads ended",
                  oursMs, TargetMsPerMinute, ours.perMinute(ours.cpuMs),
                  ours.perMinute(static_cast<double>(ours.wakeups)), ours.threadsEnded);
    printLine("idle_cpu_vs_target", oursMs, TargetMsPerMinute, what);
    double laterMs = later.perMinute(later.runMs);
    std::snprintf(what, sizeof what, "ours %.3f ms/min / target %.0f ms/min; %.1f wake-ups/min, the next %.0f s",
                  laterMs, TargetMsPerMinute, later.perMinute(static_cast<double>(later.wakeups)), later.seconds);
    printLine("idle_cpu_later_vs_target", laterMs, TargetMsPerMinute, what);
    std::snprintf(what, sizeof what, "ours %.1f MiB / baseline %.1f MiB", ours.rssMiB, baseline.rssMiB);
    printLine("idle_rss", ours.rssMiB, baseline.rssMiB, what);
    std::snprintf(what, sizeof what, "ours %.2f MiB / baseline %.2f MiB, the smallest Qt Widgets tray program",
                  ours.anonymousMiB, minimalTrayFigures.anonymousMiB);
    printLine("idle_private_memory", ours.anonymousMiB, minimalTrayFigures.anonymousMiB, what);
    return true;
}

// Runs the passes in a main window of this process, armed for phrase by its
// Start button, and prints the line name.
bool measureGrowth(const char *name, const char *phrase)
{
    test::FixtureSite site;
    if (!site.started()) {
        std::fprintf(stderr, "fixture site: %s\n", qPrintable(site.diagnostics()));
        return false;
    }
    setenv("http_proxy", site.proxyUrl().toUtf8().constData(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");

    // The splash has nothing to do with what is measured here.
    gui::MainWindow::SplashDotWait = std::chrono::milliseconds(1);
    auto *form = new gui::MainWindow;
    form->show();
    form->phraseCombo->setEditText(phrase);
    form->frequencyCombo->setCurrentIndex(HourlyInterval);
    form->startButton->click(); // returns after the start popup; the first tick follows
    bool armed = test::waitUntil([&] { return form->SearchTimer->Interval() == 3'600'000; }, 30000);

    double rss10 = 0, heap10 = 0;
    int passes = 1;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    std::function<void()> pass = [&] {
        form->searchTimerFired(form->SearchTimer.get());
        if (++passes == 10) {
            rss10 = processFigures(getpid()).rssMiB;
            heap10 = bench::heapInUseMiB();
        }
        if (passes < Passes)
            QTimer::singleShot(0, pass);
        else
            loop.quit();
    };
    if (armed) {
        QTimer::singleShot(0, pass);
        loop.exec();
    }
    double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    double rss1000 = processFigures(getpid()).rssMiB;
    double heap1000 = bench::heapInUseMiB();
    int items = form->Found.count();
    delete form;
    unsetenv("http_proxy");

    int requests = searchRequests(site);
    if (!armed || requests != Passes) {
        std::fprintf(stderr, "%s: %d requests for %d passes\n", name, requests, Passes);
        return false;
    }
    char what[256];
    std::snprintf(what, sizeof what,
                  "ours %.2f MiB after pass %d / baseline %.2f MiB after pass 10; heap %.2f / %.2f MiB; %d found "
                  "items; %.1f ms per pass",
                  rss1000, Passes, rss10, heap1000, heap10, items, seconds * 1000 / (Passes - 1));
    printLine(name, rss1000, rss10, what);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("LOTFINCH_TRAYER_PID"))
        runOnDesktop(argv);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    // Only the command line is taken from Google Benchmark here: both figures
    // are whole-program runs, not loops to time.
    benchmark::Initialize(&argc, argv);
    bool idle = measureIdle();
    // A page with items shows the "FOUND" balloon on every pass; one without
    // leaves the tray alone, which keeps the fetch, scan and lists on their own.
    bool growth = measureGrowth("pass_rss_growth", Phrase);
    growth = measureGrowth("pass_rss_growth_no_items", "no such thing") && growth;
    return idle && growth ? 0 : 1;
}
