// Time per ParseHex / ParseDeviceId call over a million generated strings (median of 5 runs).

#include "BenchUtil.h"

#include "shell/HexParse.h"

#include <cstdint>
#include <random>
#include <string>

int main()
{
    bench::PrintMachine();
    std::mt19937 rng(42);
    const char* digits = "0123456789abcdefABCDEFxg ";
    std::vector<std::string> texts(1'000'000);
    for (auto& t : texts) {
        const int n = static_cast<int>(rng() % 11);
        if (rng() % 4 == 0)
            t = "0x";
        for (int i = 0; i < n; ++i)
            t += digits[rng() % 25];
    }
    for (const char* name : {"ParseHex", "ParseDeviceId"}) {
        const bool hex = std::string(name) == "ParseHex";
        std::vector<double> runs;
        for (int r = 0; r < 5; ++r) {
            std::int64_t sum = 0;
            runs.push_back(bench::Seconds([&] {
                for (const auto& t : texts)
                    sum += hex ? ParseHex(t) : ParseDeviceId(t);
            }));
            bench::Keep(sum);
        }
        std::printf("%-14s %.1f ns per call (median of 5 runs over %zu strings)\n", name,
                    bench::Median(runs) * 1e9 / static_cast<double>(texts.size()), texts.size());
    }
    return 0;
}
