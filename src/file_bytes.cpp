#include "file_bytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "growable_array.h"

// The path of the file mapped last, for the message when its pages can no
// longer be read.
static char mapped_path[4096];

// A pipe's room for bytes not yet read.
constexpr int kPipeSize = 1 << 20;

// Access to a mapped page past the end of a file cut short while the tool
// runs, or one the device can't read, raises SIGBUS: report it like a read
// error instead of dying of the signal.
static void report_unreadable_mapping(int) {
  static char program[] = "decompress-zaduride: ";
  static char reason[] = ": file truncated or unreadable while in use\n";
  const iovec message[] = {{program, sizeof program - 1},
                           {mapped_path, strlen(mapped_path)},
                           {reason, sizeof reason - 1}};
  // Nothing is left to do if even this fails.
  (void)!writev(2, message, 3);
  _exit(1);
}

// True when standard output is the file itself (the same inode on the same
// device), as in "tool m f.pdb 1<>f.pdb".
static bool is_standard_output(const struct stat& status) {
  struct stat output {};
  return fstat(STDOUT_FILENO, &output) == 0 && output.st_dev == status.st_dev &&
         output.st_ino == status.st_ino;
}

// Maps a regular file whole, read-only and prefaulted: its bytes are used in
// place, with no copy, and the file is kept open. Returns false where the
// file can't be mapped.
static bool map_whole_file(FILE* file, const struct stat& status,
                           const char* path, FileBytes* content) {
  if (!S_ISREG(status.st_mode) || status.st_size <= 0 ||
      is_standard_output(status))
    return false;
  const size_t size = static_cast<size_t>(status.st_size);
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileno(file), 0);
  if (mapped == MAP_FAILED) return false;
  // Pages read from the disk for this mapping then come in 2 MiB units, so
  // that this run and every later one on the cached file maps them with
  // one entry each rather than 512. Both calls are hints: where either
  // fails, the pages are read as they are first used.
  madvise(mapped, size, MADV_HUGEPAGE);
  madvise(mapped, size, MADV_POPULATE_READ);
  snprintf(mapped_path, sizeof mapped_path, "%s", path);
  struct sigaction action {};
  action.sa_handler = report_unreadable_mapping;
  sigaction(SIGBUS, &action, nullptr);
  *content = {static_cast<char*>(mapped), size, file, status};
  return true;
}

// Reads the whole file into an anonymous mapping grown as the arrays are,
// in huge pages once it is large: memory touched for the first time costs
// far more per 4 KiB page than the copy into it, so a pipe's reads fill it
// faulting once per 2 MiB. Returns 0 or an errno; after an error, content
// holds what was read before it.
static int read_whole_file(FILE* file, const struct stat& status,
                           FileBytes* content) {
  // One byte more than a regular file's size, so that its end is seen
  // without growing the buffer.
  size_t wanted = size_t{1} << 16;
  if (S_ISREG(status.st_mode) && status.st_size > 0)
    wanted = static_cast<size_t>(status.st_size) + 1;
  // With room for 1 MiB, a pipe's writer runs further ahead, and each read
  // takes up to that much at one wake-up rather than 64 KiB.
  if (S_ISFIFO(status.st_mode)) fcntl(fileno(file), F_SETPIPE_SZ, kPipeSize);
  void* buffer = nullptr;
  size_t capacity = 0;
  if (!grow_mapping(&buffer, &capacity, wanted)) return ENOMEM;
  size_t used = 0;
  int error = 0;
  for (;;) {
    if (used == capacity && !grow_mapping(&buffer, &capacity, used + 1)) {
      error = ENOMEM;
      break;
    }
    const ssize_t got =
        read(fileno(file), static_cast<char*>(buffer) + used, capacity - used);
    if (got > 0) {
      used += static_cast<size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  // The whole pages beyond the bytes and one more are given back, so that
  // release_file_bytes can tell the mapping's length from the size. They
  // are unmapped, rather than the mapping shrunk with mremap, which
  // qemu-user's i386 emulation gets wrong next to another mapping.
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t kept = (used + 1 + page - 1) / page * page;
  if (kept < capacity)
    munmap(static_cast<char*>(buffer) + kept, capacity - kept);
  content->bytes = static_cast<char*>(buffer);
  content->size = used;
  return error;
}

static bool is_same_time(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A write moves the size or the modification time; the change time also
// moves for a write whose modification time was set back after it. A name
// given to the file or taken from it moves the change time alone, as when
// a new file is renamed over its name: its bytes stay as they were.
static bool is_as_opened(FILE* file, const struct stat& opened) {
  struct stat now {};
  if (fstat(fileno(file), &now) != 0) return false;
  return now.st_size == opened.st_size &&
         is_same_time(now.st_mtim, opened.st_mtim) &&
         (is_same_time(now.st_ctim, opened.st_ctim) ||
          now.st_nlink != opened.st_nlink);
}

int read_file_bytes(const char* path, FileBytes* content) {
  *content = {};
  // A 32-bit build's file offsets end at 2 GiB: open or fstat of a larger
  // file fails with EOVERFLOW (or, under an emulator whose kernel opens it
  // anyway, only fstat does). A build whose offsets go further still has
  // only a 32-bit address space. Either way the file can't be held whole:
  // say so, rather than read it as a stream until memory runs out, or map
  // its size cut to 32 bits and lose the rest.
  FILE* file = fopen(path, "r");
  if (file == nullptr) return errno == EOVERFLOW ? EFBIG : errno;
  // A status that can't be had reads as that of a non-regular file.
  struct stat status {};
  bool too_large = false;
  if (fstat(fileno(file), &status) != 0) {
    too_large = errno == EOVERFLOW;
    status.st_mode = 0;
  }
  if (S_ISREG(status.st_mode) && static_cast<uintmax_t>(status.st_size) >
                                     static_cast<uintmax_t>(PTRDIFF_MAX))
    too_large = true;
  if (too_large) {
    fclose(file);
    return EFBIG;
  }
  if (map_whole_file(file, status, path, content)) return 0;
  int error = read_whole_file(file, status, content);
  // A regular file read into memory may have been changed as it was read;
  // pipes and devices have no status that would tell.
  if (error == 0 && S_ISREG(status.st_mode) && !is_as_opened(file, status)) {
    release_file_bytes(*content);
    *content = {};
    error = kFileChanged;
  }
  fclose(file);
  return error;
}

bool has_changed_since_opened(const FileBytes& content) {
  return content.file != nullptr && !is_as_opened(content.file, content.opened);
}

const char* file_error_reason(int error) {
  return error == kFileChanged ? "file changed while in use" : strerror(error);
}

void release_file_bytes(const FileBytes& content) {
  if (content.file != nullptr) {
    munmap(content.bytes, content.size);
    fclose(content.file);
  } else if (content.bytes != nullptr) {
    // Read into memory: a mapping of the bytes and one more.
    munmap(content.bytes, content.size + 1);
  }
}
