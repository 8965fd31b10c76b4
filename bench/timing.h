#pragma once
// Timing of the benchmark programs: medians over runs of CPU and wall time.
#include <time.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace pv::bench {

inline double Seconds(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Sample {
  double cpu = 0, wall = 0;
};

// Median over RUNS (at least one) of the CPU and wall time of timed(); setup() runs untimed
// before each.
inline Sample Measure(int runs, const std::function<void()>& setup,
                      const std::function<void()>& timed) {
  std::vector<double> cpu, wall;
  for (int i = 0; i < std::max(runs, 1); ++i) {
    setup();
    const double c = Seconds(CLOCK_PROCESS_CPUTIME_ID), w = Seconds(CLOCK_MONOTONIC);
    timed();
    cpu.push_back(Seconds(CLOCK_PROCESS_CPUTIME_ID) - c);
    wall.push_back(Seconds(CLOCK_MONOTONIC) - w);
  }
  std::sort(cpu.begin(), cpu.end());
  std::sort(wall.begin(), wall.end());
  return {cpu[cpu.size() / 2], wall[wall.size() / 2]};
}

inline Sample Measure(int runs, const std::function<void()>& timed) {
  return Measure(
      runs, [] {}, timed);
}

}  // namespace pv::bench
