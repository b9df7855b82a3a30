// Runs commands several times with their standard output sent to SINK and
// prints, for each command in order, one line of the median, fastest and
// slowest wall time in milliseconds and the largest peak resident set in
// KiB: "median_ms min_ms max_ms max_rss_kib".
//
// SINK is "null" (/dev/null), "file:PATH" (PATH, truncated before each run)
// or "pipe" (a pipe read by `cat > /dev/null`, which is timed too). With
// --from FILE, standard input is a pipe that `cat FILE` writes, timed too.
//
// The commands take turns, one run each, so that a moment when the machine
// is slower falls on all of them alike rather than on one.
//
// One round before them is not timed: it finds the file in the page cache
// and the memory a run uses in the state the runs after it leave, as in a
// pipeline that starts the command again and again.
//
// usage: time_runs [--from FILE] SINK RUNS command [args...]
//                  [-- command [args...]]...
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

// Runs command once; false unless it (and the pipes' writer and reader)
// succeeded. from is the file the writer of its input pipe copies, or
// nullptr.
static bool run_once(char** command, char* from, const char* sink, double* ms,
                     long* rss) {
  const bool to_pipe = strcmp(sink, "pipe") == 0;
  const char* file = strncmp(sink, "file:", 5) == 0 ? sink + 5 : nullptr;
  static char cat[] = "cat";
  char* reader[] = {cat, nullptr};
  const int null = open("/dev/null", O_WRONLY);
  int out = null;
  if (file != nullptr) out = open(file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char* writer[] = {cat, from, nullptr};
  int ends[2] = {-1, -1};
  int input[2] = {-1, -1};
  if (to_pipe && pipe(ends) != 0) return false;
  if (from != nullptr && pipe(input) != 0) return false;
  const double begin = now_ms();
  pid_t reader_pid = -1;
  pid_t writer_pid = -1;
  if (to_pipe) {
    reader_pid = start(reader, ends[0], null);
    out = ends[1];
  }
  if (from != nullptr) {
    writer_pid = start(writer, -1, input[1]);
    close(input[1]);
  }
  const pid_t pid = start(command, input[0], out);
  if (to_pipe) {
    close(ends[0]);
    close(ends[1]);
  }
  if (from != nullptr) close(input[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  int reader_status = 0;
  int writer_status = 0;
  if (to_pipe) waitpid(reader_pid, &reader_status, 0);
  if (from != nullptr) waitpid(writer_pid, &writer_status, 0);
  *ms = now_ms() - begin;
  *rss = usage.ru_maxrss;
  if (file != nullptr) close(out);
  close(null);
  return succeeded(status) && succeeded(reader_status) &&
         succeeded(writer_status);
}

int main(int argc, char** argv) {
  char* from = nullptr;
  if (argc > 2 && strcmp(argv[1], "--from") == 0) {
    from = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc < 4 || atoi(argv[2]) < 1) {
    fputs(
        "usage: time_runs [--from file] sink runs command [args...] "
        "[-- command...]\n",
        stderr);
    return 1;
  }
  const char* sink = argv[1];
  const int runs = atoi(argv[2]);
  // Each command ends at the next "--", which becomes its argv's end.
  std::vector<char**> commands = {argv + 3};
  for (int i = 3; i < argc; ++i)
    if (strcmp(argv[i], "--") == 0) {
      argv[i] = nullptr;
      commands.push_back(argv + i + 1);
    }
  std::vector<std::vector<double>> times(commands.size());
  std::vector<long> max_rss(commands.size(), 0);
  for (int run = -1; run < runs; ++run)
    for (size_t c = 0; c < commands.size(); ++c) {
      double ms = 0;
      long rss = 0;
      if (!run_once(commands[c], from, sink, &ms, &rss)) {
        fprintf(stderr, "time_runs: %s failed\n", commands[c][0]);
        return 1;
      }
      if (run < 0) continue;
      times[c].push_back(ms);
      max_rss[c] = std::max(max_rss[c], rss);
    }
  for (size_t c = 0; c < commands.size(); ++c) {
    std::vector<double>& t = times[c];
    std::sort(t.begin(), t.end());
    printf("%.3f %.3f %.3f %ld\n", t[t.size() / 2], t.front(), t.back(),
           max_rss[c]);
  }
  return 0;
}
