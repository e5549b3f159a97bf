#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace lotfinch::bench {

// The processor time of the calling thread, as a clock for std::chrono: on a
// machine shared with other work, the time slices others get stay out of a
// figure (their effect on the caches does not).
struct ThreadCpuClock
{
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ThreadCpuClock>;
    static constexpr bool is_steady = true;

    static time_point now()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return time_point(std::chrono::seconds(now.tv_sec) + duration(now.tv_nsec));
    }
};

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The one line bench/run collects per figure.
inline void printRatio(const std::string &name, double ours, double baseline, const char *unit)
{
    std::printf("%s: %.3f (ours %.4g %s / baseline %.4g %s)\n", name.c_str(), baseline > 0 ? ours / baseline : 0.0,
                ours, unit, baseline, unit);
    std::fflush(stdout);
}

} // namespace lotfinch::bench
