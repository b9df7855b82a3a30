// Runs a command several times with standard output to /dev/null and prints
// the median and fastest wall time in milliseconds and the largest peak
// resident set in KiB: "median_ms min_ms max_rss_kib".
//
// usage: time_runs RUNS command [args...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

static double now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 +
         static_cast<double>(t.tv_nsec) / 1e6;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fputs("usage: time_runs runs command [args...]\n", stderr);
    return 1;
  }
  const int runs = atoi(argv[1]);
  std::vector<double> times;
  long max_rss = 0;
  for (int run = 0; run < runs; ++run) {
    const double start = now_ms();
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execvp(argv[2], argv + 2);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    times.push_back(now_ms() - start);
    max_rss = std::max(max_rss, usage.ru_maxrss);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "time_runs: %s failed\n", argv[2]);
      return 1;
    }
  }
  std::sort(times.begin(), times.end());
  printf("%.3f %.3f %ld\n", times[times.size() / 2], times.front(), max_rss);
  return 0;
}
