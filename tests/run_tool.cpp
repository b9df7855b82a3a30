#include "run_tool.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

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

bool tool_is_wrapped() {
  const char* wrapper = getenv("ZADURIDE_TOOL_WRAPPER");
  return wrapper != nullptr && *wrapper != '\0';
}

bool tool_is_emulated() {
#ifdef TOOL_EMULATOR
  return true;
#else
  return false;
#endif
}

std::vector<std::string> tool_command() {
  std::vector<std::string> words;
  const auto add_words = [&words](const char* text) {
    std::istringstream stream(text);
    for (std::string word; stream >> word;) words.push_back(word);
  };
  if (tool_is_wrapped()) add_words(getenv("ZADURIDE_TOOL_WRAPPER"));
#ifdef TOOL_EMULATOR
  add_words(TOOL_EMULATOR);
#endif
  words.emplace_back(TOOL_PATH);
  return words;
}

ToolRun run_tool(const std::vector<std::string>& args,
                 const RunOptions& options) {
  const std::string dir = make_temp_dir();
  const std::string out_path =
      options.stdout_path ? options.stdout_path : dir + "/out";
  const std::string err_path = dir + "/err";

  std::vector<std::string> words = tool_command();
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int input[2] = {-1, -1};
  if (options.stdin_text != nullptr && pipe(input) != 0) abort();
  int output[2] = {-1, -1};
  if (options.on_output && pipe(output) != 0) abort();
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = options.stdin_text ? input[0] : open("/dev/null", O_RDONLY);
    const int out = options.on_output ? output[1]
                                      : open(out_path.c_str(),
                                             options.stdout_read_write
                                                 ? O_RDWR
                                                 : O_WRONLY | O_CREAT | O_TRUNC,
                                             0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close(in);
    close(out);
    close(err);
    if (options.stdin_text) close(input[1]);
    if (options.on_output) close(output[0]);
    if (options.close_stdout) close(1);
    if (options.address_space_limit > 0) {
      const rlimit limit = {static_cast<rlim_t>(options.address_space_limit),
                            static_cast<rlim_t>(options.address_space_limit)};
      setrlimit(RLIMIT_AS, &limit);
    }
    signal(SIGPIPE, SIG_DFL);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (options.stdin_text) {
    // The tool may stop reading early; a broken pipe is then no error here.
    signal(SIGPIPE, SIG_IGN);
    close(input[0]);
    const std::string& text = *options.stdin_text;
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = write(input[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(input[1]);
  }
  std::string piped;
  if (options.on_output) {
    close(output[1]);
    char buffer[1 << 16];
    for (bool first = true;; first = false) {
      const ssize_t n = read(output[0], buffer, first ? 1 : sizeof buffer);
      if (n <= 0) break;
      piped.append(buffer, static_cast<size_t>(n));
      if (first) options.on_output();
    }
    close(output[0]);
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  ToolRun run;
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                      : 128 + WTERMSIG(wait_status);
  const bool captured = !options.stdout_path && !options.on_output;
  run.out = captured && !options.close_stdout ? read_file(out_path) : piped;
  run.err = read_file(err_path);
  if (captured) unlink(out_path.c_str());
  unlink(err_path.c_str());
  rmdir(dir.c_str());
  return run;
}
