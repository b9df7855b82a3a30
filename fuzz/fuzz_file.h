#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// An in-memory file that the tool's phases open by path, rewritten for
// every input.
inline const char* fuzz_file_with(const uint8_t* data, size_t size) {
  static int descriptor = -1;
  static char path[64];
  if (descriptor < 0) {
    descriptor = memfd_create("fuzz-input", 0);
    if (descriptor < 0) abort();
    snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor);
  }
  if (ftruncate(descriptor, 0) != 0) abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n =
        pwrite(descriptor, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  return path;
}

// The phases' own messages and echoes would flood the fuzzer's output;
// libFuzzer and the sanitizers keep the real standard error.
inline void silence_tool_output() {
  stdout = fopen("/dev/null", "w");
  stderr = fopen("/dev/null", "w");
  if (stdout == nullptr || stderr == nullptr) abort();
}
