#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace lotfinch::bench {

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
