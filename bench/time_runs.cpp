// Runs a command several times with its standard output sent to SINK and
// prints the median, fastest and slowest wall time in milliseconds and the
// largest peak resident set of the command in KiB:
// "median_ms min_ms max_ms max_rss_kib".
//
// SINK is "null" (/dev/null), "file:PATH" (PATH, truncated before each run)
// or "pipe" (a pipe read by `cat > /dev/null`, which is timed too).
//
// One run before them is not timed: it finds the file in the page cache
// and the memory a run uses in the state the runs after it leave, as in a
// pipeline that starts the command again and again.
//
// usage: time_runs SINK RUNS command [args...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

static double now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 +
         static_cast<double>(t.tv_nsec) / 1e6;
}

static pid_t start(char** argv, int in, int out) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (in >= 0) dup2(in, 0);
    dup2(out, 1);
    for (int fd = 3; fd < 64; ++fd) close(fd);
    execvp(argv[0], argv);
    _exit(127);
  }
  return pid;
}

static bool succeeded(int status) {
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fputs("usage: time_runs sink runs command [args...]\n", stderr);
    return 1;
  }
  const char* sink = argv[1];
  const int runs = atoi(argv[2]);
  char** command = argv + 3;
  const bool to_pipe = strcmp(sink, "pipe") == 0;
  const char* file = strncmp(sink, "file:", 5) == 0 ? sink + 5 : nullptr;
  static char cat[] = "cat";
  char* reader[] = {cat, nullptr};
  std::vector<double> times;
  long max_rss = 0;
  for (int run = -1; run < runs; ++run) {
    const int null = open("/dev/null", O_WRONLY);
    int out = null;
    if (file != nullptr) out = open(file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int ends[2] = {-1, -1};
    if (to_pipe && pipe(ends) != 0) return 1;
    const double begin = now_ms();
    pid_t reader_pid = -1;
    if (to_pipe) {
      reader_pid = start(reader, ends[0], null);
      out = ends[1];
    }
    const pid_t pid = start(command, -1, out);
    if (to_pipe) {
      close(ends[0]);
      close(ends[1]);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    int reader_status = 0;
    if (to_pipe) waitpid(reader_pid, &reader_status, 0);
    if (run >= 0) times.push_back(now_ms() - begin);
    if (file != nullptr) close(out);
    close(null);
    if (run >= 0) max_rss = std::max(max_rss, usage.ru_maxrss);
    if (!succeeded(status) || !succeeded(reader_status)) {
      fprintf(stderr, "time_runs: %s failed\n", command[0]);
      return 1;
    }
  }
  std::sort(times.begin(), times.end());
  printf("%.3f %.3f %.3f %ld\n", times[times.size() / 2], times.front(),
         times.back(), max_rss);
  return 0;
}
