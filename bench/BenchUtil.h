#pragma once
// Small helpers every benchmark shares: timing a callable, the process's CPU time, medians, the
// machine line, and the two USB speeds with their payload limits.

#include "platform/usb/Usb.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace bench {

template <typename F>
double Seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The CPU time this process has used, in seconds.
inline double CpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

inline void PrintMachine()
{
    std::printf("machine: %u hardware threads\n", std::thread::hardware_concurrency());
}

// A bus speed a benchmark runs at, and the most payload bytes per second it carries.
struct Speed {
    const char* name;
    platform::usb::UsbSpeed speed;
    double limit;
};
inline constexpr Speed kSpeeds[] = { { "full", platform::usb::UsbSpeed::Full, 1'216'000.0 },
    { "high", platform::usb::UsbSpeed::High, 53'248'000.0 } };

// Keeps the optimiser from dropping a result.
template <typename T>
inline void Keep(const T& value)
{
    asm volatile("" : : "g"(&value) : "memory");
}

} // namespace bench
