#pragma once

#include <cstddef>

// The whole content of a file, held for as long as the records read from
// it are used.
struct FileBytes {
  char* bytes;
  size_t size;
  bool mapped;
};

// Gives the whole content of the file at path. A regular file is mapped and
// its bytes used in place, unless standard output writes into that same
// file: then, as any other file, it is read into memory of the tool's own,
// so that writing the output can't change the records before they are
// written. Returns 0, or the errno of a failed open or read; after a read
// error, content holds the bytes read before it (bytes is nullptr when
// nothing could be had).
int read_file_bytes(const char* path, FileBytes* content);

void release_file_bytes(const FileBytes& content);
