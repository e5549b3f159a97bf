#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace lotfinch::bench {

// One thread as /proc shows it.
struct ThreadFigures
{
    std::string name;
    double runMs = 0; // time on a processor, to the nanosecond
    long wakeups = 0; // voluntary context switches: each is a sleep that something ended
};

// What /proc tells about a running process at one moment.
struct ProcessFigures
{
    bool valid = false;
    double atSeconds = 0;                   // when it was taken, on a steady clock
    double cpuMs = 0;                       // utime + stime of all its threads, live and ended (clock-tick resolution)
    double rssMiB = 0;                      // VmRSS
    double anonymousMiB = 0;                // private memory no file backs (heap, stacks, caches)
    std::map<pid_t, ThreadFigures> threads; // the live ones
};

ProcessFigures processFigures(pid_t pid);

// A process over a stretch of time, from samples taken along it, oldest first. A thread
// that ends between two samples is counted up to the last sample that saw it.
struct IdleFigures
{
    double seconds = 0;
    double cpuMs = 0;
    double runMs = 0;
    long wakeups = 0;
    double rssMiB = 0;       // at the end
    double anonymousMiB = 0; // at the end
    int threadsEnded = 0;
    int threadsStarted = 0;

    double perMinute(double value) const { return seconds > 0 ? value * 60 / seconds : 0; }
};

IdleFigures idleFigures(const std::vector<ProcessFigures> &samples);

// Heap in use by this process (malloc's own count), in MiB.
double heapInUseMiB();

} // namespace lotfinch::bench
