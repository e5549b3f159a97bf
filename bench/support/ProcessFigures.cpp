#include "support/ProcessFigures.h"

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <malloc.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace lotfinch::bench {

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The number after "key:" in a /proc status file, or -1.
long statusValue(const std::string &status, const std::string &key)
{
    size_t at = status.find("\n" + key + ":");
    if (at == std::string::npos)
        return -1;
    return std::strtol(status.c_str() + at + key.size() + 2, nullptr, 10);
}

} // namespace

ProcessFigures processFigures(pid_t pid)
{
    ProcessFigures figures;
    figures.atSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    std::string folder = "/proc/" + std::to_string(pid);
    // The command name may hold blanks and parentheses: the fields start after the last ')'.
    std::string stat = readFile(folder + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return figures;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int number = 3; fields >> field; ++number) {
        if (number == 14)
            utime = std::strtoull(field.c_str(), nullptr, 10);
        else if (number == 15) {
            stime = std::strtoull(field.c_str(), nullptr, 10);
            break;
        }
    }
    figures.cpuMs = static_cast<double>(utime + stime) * 1000 / static_cast<double>(sysconf(_SC_CLK_TCK));
    figures.rssMiB = static_cast<double>(statusValue(readFile(folder + "/status"), "VmRSS")) / 1024;
    figures.anonymousMiB = static_cast<double>(statusValue(readFile(folder + "/smaps_rollup"), "Anonymous")) / 1024;

    if (DIR *tasks = opendir((folder + "/task").c_str())) {
        while (dirent *entry = readdir(tasks)) {
            if (entry->d_name[0] == '.')
                continue;
            std::string task = folder + "/task/" + entry->d_name;
            // A thread may end between the listing and the reading: it is skipped.
            std::string schedstat = readFile(task + "/schedstat");
            long switches = statusValue(readFile(task + "/status"), "voluntary_ctxt_switches");
            if (schedstat.empty() || switches < 0)
                continue;
            pid_t tid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
            std::string name = readFile(task + "/comm");
            if (!name.empty() && name.back() == '\n')
                name.pop_back();
            // schedstat: nanoseconds on a processor, nanoseconds waiting, time slices.
            figures.threads[tid] = {name, std::strtod(schedstat.c_str(), nullptr) / 1e6, switches};
        }
        closedir(tasks);
    }
    figures.valid = !figures.threads.empty();
    return figures;
}

IdleFigures idleFigures(const std::vector<ProcessFigures> &samples)
{
    IdleFigures idle;
    if (samples.empty())
        return idle;
    const ProcessFigures &first = samples.front();
    idle.seconds = samples.back().atSeconds - first.atSeconds;
    idle.cpuMs = samples.back().cpuMs - first.cpuMs;
    idle.rssMiB = samples.back().rssMiB;
    idle.anonymousMiB = samples.back().anonymousMiB;
    // Each thread's last sighting; the figures only grow.
    std::map<pid_t, ThreadFigures> last;
    for (const ProcessFigures &sample : samples)
        for (const auto &[tid, thread] : sample.threads)
            last[tid] = thread;
    for (const auto &[tid, thread] : last) {
        auto start = first.threads.find(tid);
        bool old = start != first.threads.end();
        idle.runMs += thread.runMs - (old ? start->second.runMs : 0);
        idle.wakeups += thread.wakeups - (old ? start->second.wakeups : 0);
        idle.threadsStarted += old ? 0 : 1;
        idle.threadsEnded += samples.back().threads.count(tid) ? 0 : 1;
    }
    return idle;
}

double heapInUseMiB()
{
    struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

} // namespace lotfinch::bench
