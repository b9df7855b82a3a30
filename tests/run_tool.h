#pragma once

#include <functional>
#include <string>
#include <vector>

// What one run of the built tool left behind.
struct ToolRun {
  int status;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
};

struct RunOptions {
  // Standard output goes to this file (and is not captured) when given.
  const char* stdout_path = nullptr;
  // The file is opened for reading and writing and not truncated, as the
  // shell's 1<>PATH opens it.
  bool stdout_read_write = false;
  // Standard output is closed before the tool starts.
  bool close_stdout = false;
  // Standard input is a pipe that carries this text; /dev/null otherwise.
  const std::string* stdin_text = nullptr;
  // A limit on the tool's address space in bytes; 0 for none.
  long address_space_limit = 0;
  // Standard output is a pipe, and this is called once its first byte has
  // arrived, before the rest is read: a tool with more to write than the
  // pipe holds can't finish meanwhile.
  std::function<void()> on_output = nullptr;
};

// Runs the tool with the given arguments. When ZADURIDE_TOOL_WRAPPER is set
// (for instance to "valgrind --error-exitcode=99 --log-file=/dev/null"),
// the tool runs under that command.
ToolRun run_tool(const std::vector<std::string>& args,
                 const RunOptions& options = {});

// The words that start the tool: the wrapper's, then the emulator's where
// the tool is built for another machine, then the tool's path.
std::vector<std::string> tool_command();

// True when the tool runs under a wrapper, which some cases can't allow.
bool tool_is_wrapped();

// True when the tool is cross-built and runs under an emulator (qemu-user),
// which shares the tool's address space and its limit.
bool tool_is_emulated();

// A fresh directory under the system's temporary directory.
std::string make_temp_dir();
void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
