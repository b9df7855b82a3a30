#pragma once

#include <cstdio>
#include <span>
#include <string_view>

#include "coor3f.h"
#include "coordinate_fields.h"
#include "mmcif_records.h"

// Column map of an atom record (offsets from 0; PDB columns from 1):
//   0-29   columns  1-30  record name, atom and residue identification
//   30-37  columns 31-38  x   read with strtod, written "%8.3f"
//   38-45  columns 39-46  y
//   46-53  columns 47-54  z
//   54-    columns 55-    occupancy, B-factor and the rest, terminator included
constexpr size_t kHeadLength = 30;
constexpr size_t kXOffset = 30;
constexpr size_t kYOffset = 38;
constexpr size_t kZOffset = 46;
constexpr size_t kTailOffset = 54;

// True when the line's first token starts with the bytes "ATOM".
bool is_atom_record(const char* line, size_t length);

// The length of the line's terminator: 2 for "\r\n", 1 for "\n", else 0.
size_t terminator_length(const char* line, size_t length);

// Appends each atom record of the file to atom and lines, and for an mmCIF
// file the places of their values to layout. The file is mmCIF when a line
// that starts with data_, loop_ or _atom_site. (letters in any case, after
// white space) comes before its first fixed-column atom record. Returns 0,
// or the errno of a failed open or read (the records of a fixed-column file
// read before a read error are kept), or ENOMEM when the file or its
// records find no room, or kFileChanged for a file that changed while it
// was read into memory, or kRefused for a file that is compressed or an
// mmCIF file that can't be moved faithfully (nothing of it is kept).
int read_atom_records(const char* path, GrowableArray<Coor3f>& atom,
                      RecordLines& lines, MmcifLayout& layout);

// The reason to give for an error of read_atom_records.
const char* coordinate_file_error(int error);

// True when a coordinate file read so far has changed since it was opened,
// so that records written from its bytes may hold what it never held at
// once. Its bytes are read until the last record is written: ask then.
bool coordinate_texts_changed();

// Gives back the memory of every coordinate file read so far. The lines
// read from them must no longer be used. The tool itself keeps its lines
// until it ends; this is for programs that read many files.
void release_coordinate_texts();

// Writes every record with its coordinate fields replaced, in order; lines
// holds the records' lines, one for each of atom, and layout, for an mmCIF
// file, the places of their values.
void write_atom_records(std::span<const Coor3f> atom, const RecordLines& lines,
                        const MmcifLayout& layout, FILE* out);
