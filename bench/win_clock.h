#pragma once
// The Windows benchmarks' clock: seconds from the performance counter, and the median of
// repeated measurements.

#include <windows.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double Now()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> times)
{
    if (times.empty())
        return 0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace bench
