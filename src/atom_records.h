#pragma once

#include <cstdio>
#include <string_view>
#include <vector>

#include "coor3f.h"

// Column map of an atom record (offsets from 0; PDB columns from 1):
//   0-29   columns  1-30  record name, atom and residue identification
//   30-37  columns 31-38  x   read with strtod, written "%8.3f"
//   38-45  columns 39-46  y
//   46-53  columns 47-54  z
//   54-    columns 55-    occupancy, B-factor and the rest, terminator included
constexpr size_t kHeadLength = 30;
constexpr size_t kFieldWidth = 8;
constexpr size_t kXOffset = 30;
constexpr size_t kYOffset = 38;
constexpr size_t kZOffset = 46;
constexpr size_t kTailOffset = 54;
// "%8.3f" of the largest double is 309 digits, the point and three decimals.
constexpr size_t kMaxFieldLength = 320;

// True when the line's first token starts with the bytes "ATOM".
bool is_atom_record(const char* line, size_t length);

// The length of the line's terminator: 2 for "\r\n", 1 for "\n", else 0.
size_t terminator_length(const char* line, size_t length);

// Parses one eight-byte coordinate field as strtod does, never reading past
// the line's content; a field cut short reads as blanks.
double read_coordinate(const char* content, size_t content_length,
                       size_t offset);

// Writes value as printf's "%8.3f" does, into out (kMaxFieldLength bytes
// at least), and returns the length written.
size_t format_coordinate(double value, char* out);

// Appends each atom record of the file to atom and lines. Returns 0, or the
// errno of a failed open or read; the records read before a read error are
// kept.
int read_atom_records(const char* path, std::vector<Coor3f>& atom,
                      std::vector<std::string_view>& lines);

// Gives back the memory of every coordinate file read so far. The lines
// read from them must no longer be used. The tool itself keeps its lines
// until it ends; this is for programs that read many files.
void release_coordinate_texts();

// Writes every record with its coordinate fields replaced, in order.
void write_atom_records(const std::vector<Coor3f>& atom,
                        const std::vector<std::string_view>& lines, FILE* out);
