#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "coor3f.h"
#include "file_bytes.h"
#include "growable_array.h"
#include "record_lines.h"

// The atom records of an mmCIF file are the rows of its _atom_site loops
// whose group_PDB value begins with "ATOM" (every row, where a loop has no
// group_PDB). Each row's text is one of lines: from the start of the line
// of its first value (or the value itself, where an earlier row shares that
// line) to the start of the next row, or to the end of its last value's
// line. Each of its x, y and z values is written where it stood.

// Where the Cartn_x, Cartn_y and Cartn_z values of a row start, as offsets
// from the start of its text, and the room each has for its new text: the
// value and the blanks after it but one (the value alone where no blank
// follows it), up to 255 bytes; 0 for a value longer than eight bytes,
// whose length is measured again. A new text of up to that many bytes,
// blank-padded to them, replaces what stands there. A row whose three values
// are all unknown ("?" or ".") has kUnknownPosition for each and is written as
// it stands.
struct MmcifRow {
  uint32_t value[3];
  uint8_t room[3];
  uint8_t spare;  // 0, so that rows compare whole
};

// The places of a run of atom records one after another whose rows have
// the same places, as the rows of an aligned loop have.
struct MmcifRowRun {
  MmcifRow places;
  uint32_t count;
};
constexpr uint32_t kUnknownPosition = UINT32_MAX;

// What stands before the first atom record of an _atom_site loop: its
// block's data_ line (empty where the block has none, or gave it before an
// earlier loop) and the loop's header, loop_ and its tags.
struct MmcifHeader {
  size_t first_record;
  std::string_view block_line;
  std::string_view loop_header;
};

struct MmcifLayout {
  GrowableArray<MmcifRowRun> rows;     // in order, one or more records each
  GrowableArray<MmcifHeader> headers;  // in order of first_record
};

// The layout of the atom records of the tool's coordinate file; empty for
// a file in the fixed-column layout.
extern MmcifLayout mmcif;

// Why an mmCIF text can't be moved faithfully: at which byte, and a reason
// with perhaps the offending text after it.
struct MmcifRefusal {
  size_t offset;
  const char* reason;
  std::string_view text;
};

// Appends each atom record of the mmCIF text to atom, its row to lines and
// its values' places to layout. Returns 0, ENOMEM when there is no room for
// them, or kRefused with refusal filled in (then what was appended must be
// dropped).
int read_mmcif_records(const char* text, size_t size,
                       GrowableArray<Coor3f>& atom, RecordLines& lines,
                       MmcifLayout& layout, MmcifRefusal* refusal);

// Writes each block's data_ line and each loop's header before its first
// record, and every record with its values replaced by "%.3f" of its
// coordinates: a shorter text padded with blanks to the old value's width,
// a longer one taking the extra bytes from the blanks after it, keeping at
// least one.
void write_mmcif_records(std::span<const Coor3f> atom, const RecordLines& lines,
                         const MmcifLayout& layout, FILE* out);

void release_mmcif_layout(MmcifLayout& layout);
