#include "run_tool.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

std::string make_temp_dir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/zaduride-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) abort();
  return pattern;
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

ToolRun run_tool(const std::vector<std::string>& args, const char* stdout_path,
                 bool close_stdout) {
  const std::string dir = make_temp_dir();
  const std::string out_path = stdout_path ? stdout_path : dir + "/out";
  const std::string err_path = dir + "/err";
  std::vector<char*> argv;
  std::string tool = TOOL_PATH;
  argv.push_back(tool.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close(in);
    close(out);
    close(err);
    if (close_stdout) close(1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  ToolRun run;
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                      : 128 + WTERMSIG(wait_status);
  run.out = stdout_path || close_stdout ? "" : read_file(out_path);
  run.err = read_file(err_path);
  if (!stdout_path) unlink(out_path.c_str());
  unlink(err_path.c_str());
  rmdir(dir.c_str());
  return run;
}
