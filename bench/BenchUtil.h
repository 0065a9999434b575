#pragma once
// Small helpers every benchmark shares: timing a callable, medians, and the machine line.

#include <algorithm>
#include <chrono>
#include <cstdio>
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

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

inline void PrintMachine()
{
    std::printf("machine: %u hardware threads\n", std::thread::hardware_concurrency());
}

// Keeps the optimiser from dropping a result.
template <typename T>
inline void Keep(const T& value)
{
    asm volatile("" : : "g"(&value) : "memory");
}

} // namespace bench
