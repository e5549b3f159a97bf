// Soak: 1000 requests through the HTTP component against a server that
// answers well, cuts bodies short, stalls, trickles, never ends, or
// redirects, with one request in ten abandoned by destroying its component
// while it runs. Four components fetch side by side. The resident memory and
// the open file descriptors are taken after every request: their peak and
// their final value are set beside the figures after the first 50 requests
// (each ratio must stay within 1.05), and the longest request, from Read to
// its result event, beside its deadline plus 100 ms for starting the worker
// and handing the events over (it must stay below 1). The program fails if an
// abandoned worker is still running ten seconds after the last request.
//
// Small limits keep it short: 500 ms without a byte, 1000 bytes a second over
// 500 ms, 1.5 s in all. The server runs in a child process started before any
// thread, so its own threads, sockets and memory do not count.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BenchRatio.h"
#include "http/HttpComponent.h"
#include "support/LoopbackServer.h"

using namespace lotfinch;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Requests = 1000, Baseline = 50, Parallel = 4, AbandonEvery = 10;
constexpr int ReceiveMs = 500, SpeedWindowMs = 500, MinimumSpeed = 1000, TotalMs = 1500;
// Starting the worker and handing the events over come on top of the transfer's own deadline.
constexpr int DeliveryAllowanceMs = 100;
const char *const Kinds[] = {"/good", "/cut", "/stall", "/drip", "/endless", "/redirect"};

test::HttpReply answer(const test::HttpRequestRecord &request)
{
    using test::HttpReply;
    const std::string &target = request.target;
    if (target == "/redirect")
        return HttpReply::redirect(302, "/redirect2");
    if (target == "/redirect2")
        return HttpReply::redirect(301, "/good");
    HttpReply reply = HttpReply::text(200, "");
    reply.generatedLength = 20000;
    if (target == "/cut") {
        reply.cutAfter = 5000;
    } else if (target == "/stall") {
        reply.stallMs = -1;
    } else if (target == "/drip") {
        reply.pieceSize = 1;
        reply.pieceDelayMs = 20;
    } else if (target == "/endless") {
        reply.generatedLength = uint64_t{1} << 40;
        reply.chunked = true;
        reply.pieceSize = 2000;
        reply.pieceDelayMs = 20;
    }
    return reply;
}

// Serves until the parent closes the pipe; returns the port through it first.
pid_t startServer(uint16_t &port, int &keepAlive)
{
    int toParent[2], toChild[2];
    if (pipe(toParent) != 0 || pipe(toChild) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(toParent[0]);
        close(toChild[1]);
        {
            test::LoopbackServer server(answer);
            uint16_t serving = server.port();
            (void)!write(toParent[1], &serving, sizeof serving);
            char byte;
            while (read(toChild[0], &byte, 1) > 0) {
            }
        }
        _exit(0);
    }
    close(toParent[1]);
    close(toChild[0]);
    keepAlive = toChild[1];
    bool got = read(toParent[0], &port, sizeof port) == sizeof port;
    close(toParent[0]);
    return got ? pid : -1;
}

struct Figures
{
    double rssMiB = 0;
    int fds = 0;
};

Figures figures()
{
    Figures now;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            now.rssMiB = std::stod(line.substr(6)) / 1024;
    now.fds = static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
    return now;
}

// One component and the request it runs.
struct Slot
{
    std::unique_ptr<http::HttpComponent> http;
    Clock::time_point started;
    int request = -1;
    bool running = false;
};

} // namespace

int main(int argc, char **argv)
{
    uint16_t port = 0;
    int keepAlive = -1;
    pid_t server = startServer(port, keepAlive);
    if (server < 0) {
        std::fprintf(stderr, "cannot start the server\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    std::string base = "http://127.0.0.1:" + std::to_string(port);

    int issued = 0, ended = 0;
    double longestMs = 0;
    Figures atBaseline, peak, last;
    bool baselineTaken = false;
    std::vector<Slot> lanes(Parallel);

    std::function<void(Slot &)> next;
    auto finished = [&](Slot &slot) {
        slot.running = false;
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - slot.started).count();
        longestMs = std::max(longestMs, ms);
        ++ended;
        // The component's release follows its events: measure once it is idle.
        QTimer::singleShot(0, [&] {
            last = figures();
            if (!baselineTaken && ended >= Baseline) {
                atBaseline = peak = last;
                baselineTaken = true;
            }
            peak.rssMiB = std::max(peak.rssMiB, last.rssMiB);
            peak.fds = std::max(peak.fds, last.fds);
            next(slot);
        });
    };
    auto makeComponent = [&](Slot &slot) {
        slot.http = std::make_unique<http::HttpComponent>();
        http::HttpComponent &component = *slot.http;
        component.Proxy().AccessType = http::HttpAccessType::Direct;
        component.Timeouts().ConnectTimeout = 2000;
        component.Timeouts().ReceiveTimeout = ReceiveMs;
        component.Timeouts().MinimumSpeed = MinimumSpeed;
        component.Timeouts().MinimumSpeedTime = SpeedWindowMs;
        component.Timeouts().TotalTimeout = TotalMs;
        component.OnDone = [&](QObject *, const std::string &, int64_t, http::ByteStream *) { finished(slot); };
        component.OnConnLost = [&](QObject *, const std::string &, int64_t, int64_t, http::ByteStream *) {
            finished(slot);
        };
        component.OnHTTPError = [&](QObject *, int, http::ByteStream *) { finished(slot); };
        component.OnHostUnreachable = [&](QObject *) { finished(slot); };
    };
    next = [&](Slot &slot) {
        if (issued == Requests)
            return;
        int number = issued++;
        if (!slot.http)
            makeComponent(slot);
        slot.http->setURL(base + Kinds[number % std::size(Kinds)]);
        slot.started = Clock::now();
        slot.request = number;
        slot.running = true;
        slot.http->Read(false);
        if (number % AbandonEvery == AbandonEvery - 1) {
            // Let go while it runs: no event may follow, and the slot goes on with a new component.
            QTimer::singleShot(0, [&slot, &ended, &next, number] {
                if (!slot.running || slot.request != number)
                    return;
                slot.running = false;
                slot.http.reset();
                ++ended;
                next(slot);
            });
        }
    };
    for (Slot &slot : lanes)
        next(slot);
    while (ended < Requests)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    bool workersEnded = http::EventThread::WaitForLiveWorkers(10000);
    QCoreApplication::processEvents();
    last = figures();
    peak.rssMiB = std::max(peak.rssMiB, last.rssMiB);
    peak.fds = std::max(peak.fds, last.fds);

    close(keepAlive);
    waitpid(server, nullptr, 0);
    if (!workersEnded) {
        std::fprintf(stderr, "abandoned workers still running\n");
        return 1;
    }
    bench::printRatio("soak_peak_rss_vs_after_50", peak.rssMiB, atBaseline.rssMiB, "MiB");
    bench::printRatio("soak_final_rss_vs_after_50", last.rssMiB, atBaseline.rssMiB, "MiB");
    bench::printRatio("soak_peak_fds_vs_after_50", peak.fds, atBaseline.fds, "fds");
    bench::printRatio("soak_final_fds_vs_after_50", last.fds, atBaseline.fds, "fds");
    bench::printRatio("soak_longest_request_vs_deadline", longestMs, TotalMs + DeliveryAllowanceMs, "ms");
    return 0;
}
