#pragma once

#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "atom_records.h"

// The records as write_atom_records writes them, into a string.
inline std::string written_records(std::span<const Coor3f> atoms,
                                   const RecordLines& texts,
                                   const MmcifLayout& layout) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  write_atom_records(atoms, texts, layout, out);
  fclose(out);
  std::string result(buffer, size);
  free(buffer);
  return result;
}
