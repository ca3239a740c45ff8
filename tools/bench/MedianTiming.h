// Shared by the benchmarks that time whole operations: the median wall and processor time of
// several runs. Wall time is what the user waits; processor time shows how much of it was this
// program's own work when other programs share the machine.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <ctime>
#include <functional>
#include <vector>

namespace bench {

struct Timing {
    double wallMs = 0;
    double cpuMs = 0;
};

// Median wall and processor time of `runs` runs of body, which returns an item count.
inline Timing medianMs(int runs, const std::function<size_t()>& body, size_t& items) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        std::clock_t c0 = std::clock();
        auto start = std::chrono::steady_clock::now();
        items = body();
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        cpu.push_back(double(std::clock() - c0) * 1000.0 / CLOCKS_PER_SEC);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

} // namespace bench
