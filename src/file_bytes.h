#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>

// The whole content of a file, held for as long as the records read from
// it are used.
struct FileBytes {
  char* bytes;
  size_t size;
  // A mapped file is kept open, so that once its bytes have been used it
  // can be told whether it changed meanwhile; nullptr for bytes read into
  // memory.
  FILE* file;
  // The file's status when it was opened.
  struct stat opened;
};

// Given in place of an errno when a file's size or times moved while its
// bytes were read.
constexpr int kFileChanged = -1;
// Given in place of an errno when a file's content can't be used as it
// stands; its reader tells why.
constexpr int kRefused = -2;

// Gives the whole content of the file at path. A regular file is mapped and
// its bytes used in place, unless standard output writes into that same
// file: then, as any other file, it is read into memory of the tool's own,
// so that writing the output can't change the records before they are
// written. Returns 0, or the errno of a failed open or read (EFBIG for a
// file larger than the address space can hold), or kFileChanged for a
// regular file that changed while it was read into memory (then content
// holds nothing); after a read error, content holds the bytes read before
// it (bytes is nullptr when nothing could be had).
int read_file_bytes(const char* path, FileBytes* content);

// True when a mapped file's size or times are no longer those it had when
// it was opened: the bytes used since may not be the ones it held then.
// Always false for content read into memory, which no later change reaches.
bool has_changed_since_opened(const FileBytes& content);

// The reason to give for an error of read_file_bytes.
const char* file_error_reason(int error);

void release_file_bytes(const FileBytes& content);
