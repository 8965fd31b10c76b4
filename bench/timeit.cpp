// Runs a command several times and prints the medians of its wall time, CPU time (user and
// system, children included) and peak resident memory:
//   timeit RUNS COMMAND [ARGS...]
// Output: "wall=S cpu=S rss_kb=N status=N". Standard output of the command is discarded.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

template <class T>
T Median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("Usage: timeit RUNS COMMAND [ARGS...]\n", stderr);
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  std::vector<double> wall, cpu;
  std::vector<long> rss;
  int status = 0;
  for (int i = 0; i < runs; ++i) {
    const double start = Now();
    const pid_t pid = fork();
    if (pid < 0) {
      std::perror("timeit: fork");
      return 1;
    }
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, STDOUT_FILENO);
      execvp(argv[2], argv + 2);
      std::perror("timeit: exec");
      _exit(127);
    }
    int st = 0;
    rusage ru{};
    if (wait4(pid, &st, 0, &ru) < 0) {
      std::perror("timeit: wait");
      return 1;
    }
    wall.push_back(Now() - start);
    cpu.push_back(Seconds(ru.ru_utime) + Seconds(ru.ru_stime));
    rss.push_back(ru.ru_maxrss);
    if (WIFEXITED(st))
      status = std::max(status, WEXITSTATUS(st));
    else
      status = 128;
  }
  std::printf("wall=%.4f cpu=%.4f rss_kb=%ld status=%d\n", Median(wall), Median(cpu), Median(rss),
              status);
  return 0;
}
