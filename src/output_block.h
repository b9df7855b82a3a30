#pragma once

#include <cstdio>
#include <cstring>

// Records are gathered in a block and written a block at a time.
struct OutputBlock {
  char* data;
  size_t size;
  size_t used;
  FILE* out;
};

// A block for writing the given number of records to out.
OutputBlock start_output_block(size_t records, FILE* out);

// Appends the bytes to the block, writing out what it holds first where
// they don't fit; bytes larger than the whole block are written directly.
inline void put_bytes(OutputBlock& block, const char* bytes, size_t length) {
  if (block.used + length > block.size) {
    fwrite(block.data, 1, block.used, block.out);
    block.used = 0;
    if (length > block.size) {
      fwrite(bytes, 1, length, block.out);
      return;
    }
  }
  memcpy(block.data + block.used, bytes, length);
  block.used += length;
}

inline void finish_output_block(OutputBlock& block) {
  fwrite(block.data, 1, block.used, block.out);
  block.used = 0;
}
