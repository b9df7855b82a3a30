#pragma once

#include <string>
#include <vector>

// What one run of the built tool left behind.
struct ToolRun {
  int status;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
};

// Runs the tool with the given arguments, standard input from /dev/null.
// Standard output goes to stdout_path when one is given (and is then not
// captured), or is closed when close_stdout is set.
ToolRun run_tool(const std::vector<std::string>& args,
                 const char* stdout_path = nullptr, bool close_stdout = false);

// A fresh directory under the system's temporary directory.
std::string make_temp_dir();
void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
