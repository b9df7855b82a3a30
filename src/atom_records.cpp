#include "atom_records.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

#include "cif_tokens.h"
#include "file_bytes.h"
#include "newlines.h"
#include "output_block.h"

GrowableArray<Coor3f> atom;
RecordLines lines;

// Lines point into these, so they are kept until the process ends (or
// until release_coordinate_texts): the list itself is never destroyed, so
// that the texts stay reachable while the process exits.
static std::vector<FileBytes>& file_texts = *new std::vector<FileBytes>;

constexpr size_t kLargeFile = size_t{8} << 20;

static bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

bool is_atom_record(const char* line, size_t length) {
  // Nearly every atom record starts with its token.
  if (length >= 4 && memcmp(line, "ATOM", 4) == 0) return true;
  size_t i = 0;
  while (i < length && is_white_space(line[i])) ++i;
  return i + 4 <= length && memcmp(line + i, "ATOM", 4) == 0;
}

bool coordinate_texts_changed() {
  return std::any_of(file_texts.begin(), file_texts.end(),
                     has_changed_since_opened);
}

void release_coordinate_texts() {
  for (const FileBytes& text : file_texts) release_file_bytes(text);
  file_texts.clear();
}

size_t terminator_length(const char* line, size_t length) {
  if (length == 0 || line[length - 1] != '\n') return 0;
  return length >= 2 && line[length - 2] == '\r' ? 2 : 1;
}

// The line's length without its terminator, where the coordinate fields
// need it: a line of two bytes or more beyond them holds all three, with
// whatever terminator, so it is taken whole without looking.
static size_t field_content_length(const char* line, size_t length) {
  return length >= kTailOffset + 2 ? length
                                   : length - terminator_length(line, length);
}

// Appends the line from line to next (its terminator included) when it is
// an atom record; false when there is no room for it.
static bool append_if_atom_record(const char* line, const char* next,
                                  GrowableArray<Coor3f>& atom,
                                  RecordLines& lines) {
  const auto length = static_cast<size_t>(next - line);
  if (!is_atom_record(line, length)) return true;
  double xyz[3];
  read_coordinate_fields(line, field_content_length(line, length), kXOffset,
                         xyz);
  if (!append(atom, {xyz[0], xyz[1], xyz[2]})) return false;
  if (!append_line(lines, std::string_view(line, length))) {
    --atom.size;
    return false;
  }
  return true;
}

// Why the last file was refused, as coordinate_file_error gives it.
static char refusal_reason[160];

const char* coordinate_file_error(int error) {
  return error == kRefused ? refusal_reason : file_error_reason(error);
}

// mmCIF when a line that starts with data_, loop_ or _atom_site. comes
// before the first atom record: no file of the fixed-column layout has one.
static bool is_mmcif_text(const char* text, const char* end) {
  for (const char* line = text; line < end;) {
    const auto* newline = static_cast<const char*>(
        memchr(line, '\n', static_cast<size_t>(end - line)));
    const char* next = newline == nullptr ? end : newline + 1;
    if (is_atom_record(line, static_cast<size_t>(next - line))) return false;
    while (line < next && is_white_space(*line)) ++line;
    const std::string_view start(line, static_cast<size_t>(next - line));
    if (starts_ignoring_case(start, "data_") ||
        starts_ignoring_case(start, "loop_") ||
        starts_ignoring_case(start, "_atom_site."))
      return true;
    line = next;
  }
  return false;
}

static bool is_gzip_text(const FileBytes& text) {
  return text.size >= 2 && static_cast<unsigned char>(text.bytes[0]) == 0x1f &&
         static_cast<unsigned char>(text.bytes[1]) == 0x8b;
}

// Reads an mmCIF text whole, or nothing of it.
static int read_mmcif_text(const FileBytes& text, GrowableArray<Coor3f>& atom,
                           RecordLines& lines, MmcifLayout& layout) {
  const size_t atoms_before = atom.size;
  const size_t rows_before = layout.rows.size;
  // The last run may go on with this text's records.
  const uint32_t last_run_before =
      rows_before == 0 ? 0 : layout.rows.data[rows_before - 1].count;
  const size_t headers_before = layout.headers.size;
  const size_t steps_before = lines.steps.size;
  const size_t whole_before = lines.whole.size;
  // As for a large fixed-column file, each array starts at a huge page.
  if (text.size >= kLargeFile &&
      (!reserve(atom, atom.size + kHugePage / sizeof(Coor3f)) ||
       !reserve_lines(lines, kHugePage / sizeof(LineStep))))
    return ENOMEM;
  MmcifRefusal refusal{};
  const int error =
      read_mmcif_records(text.bytes, text.size, atom, lines, layout, &refusal);
  if (error == 0) return 0;
  atom.size = atoms_before;
  layout.rows.size = rows_before;
  if (rows_before != 0)
    layout.rows.data[rows_before - 1].count = last_run_before;
  layout.headers.size = headers_before;
  lines.steps.size = steps_before;
  lines.whole.size = whole_before;
  if (error == kRefused) {
    // What the value is shown of stays on one line, and short.
    const std::string_view shown = refusal.text.substr(0, 40);
    snprintf(refusal_reason, sizeof refusal_reason, "line %zu: %s%.*s",
             line_number(text.bytes, refusal.offset), refusal.reason,
             static_cast<int>(shown.size()), shown.data());
  }
  return error;
}

static int read_fixed_column_text(const FileBytes& text, int error,
                                  GrowableArray<Coor3f>& atom,
                                  RecordLines& lines);

int read_atom_records(const char* path, GrowableArray<Coor3f>& atom,
                      RecordLines& lines, MmcifLayout& layout) {
  FileBytes text;
  const int error = read_file_bytes(path, &text);
  if (text.bytes == nullptr) return error;
  file_texts.push_back(text);
  if (is_gzip_text(text)) {
    snprintf(refusal_reason, sizeof refusal_reason, "%s",
             "compressed with gzip; read it with zcat FILE | "
             "decompress-zaduride MATRIX /dev/stdin");
    return kRefused;
  }
  // An mmCIF file cut short by a read error may end inside a loop or a
  // text field: the error alone is told, and nothing of it written.
  if (is_mmcif_text(text.bytes, text.bytes + text.size))
    return error != 0 ? error : read_mmcif_text(text, atom, lines, layout);
  return read_fixed_column_text(text, error, atom, lines);
}

// Reads the atom records of a fixed-column text; error is that of reading
// it, and the records before a read error are kept.
static int read_fixed_column_text(const FileBytes& text, int error,
                                  GrowableArray<Coor3f>& atom,
                                  RecordLines& lines) {
  const char* end = text.bytes + text.size;
  if (error != 0) {
    // A line cut off by the error is not known to be whole: leave it out.
    const char* last_newline =
        static_cast<const char*>(memrchr(text.bytes, '\n', text.size));
    end = last_newline == nullptr ? text.bytes : last_newline + 1;
  }
  // A large file starts its arrays at a huge page each, rather than
  // growing them through small pages first; 4 MiB is within what any run
  // may claim beyond the file.
  if (text.size >= kLargeFile &&
      (!reserve(atom, atom.size + kHugePage / sizeof(Coor3f)) ||
       !reserve_lines(lines, kHugePage / sizeof(LineStep))))
    return ENOMEM;
  start_text(lines);
  const char* line = text.bytes;
  // Takes the lines that end in the block at text_block, whose newlines
  // mask marks; inlined in both places, as the record loop is the tool's
  // hottest.
  const auto take_lines = [&](const char* text_block, uint64_t mask)
      __attribute__((always_inline)) {
    for (; mask != 0; mask &= mask - 1) {
      const char* next = text_block + std::countr_zero(mask) + 1;
      const auto length = static_cast<size_t>(next - line);
      // The usual record, with room for it and a step from the line
      // before, is kept here; anything else takes the general way.
      if (length >= kTailOffset + 2 && memcmp(line, "ATOM", 4) == 0 &&
          atom.size < atom.capacity && has_room_for_step(lines, line, length)) {
        double xyz[3];
        read_coordinate_fields(line, length, kXOffset, xyz);
        atom.data[atom.size++] = {xyz[0], xyz[1], xyz[2]};
        append_step(lines, line, length);
      } else if (!append_if_atom_record(line, next, atom, lines)) {
        return false;
      }
      line = next;
    }
    return true;
  };
  const char* block = text.bytes;
  for (; static_cast<size_t>(end - block) >= kNewlineBlock;
       block += kNewlineBlock) {
    // The hardware's own prefetch stops at page boundaries.
    __builtin_prefetch(block + 1024);
    if (!take_lines(block, newline_mask(block))) return ENOMEM;
  }
  // The last bytes, in a block of their own; the rest of it holds no '\n'.
  char last[kNewlineBlock] = {};
  memcpy(last, block, static_cast<size_t>(end - block));
  if (!take_lines(block, newline_mask(last))) return ENOMEM;
  if (line < end && !append_if_atom_record(line, end, atom, lines))
    return ENOMEM;
  return error;
}

// Marked hot: GCC takes a function that main calls once for one to keep
// small, and divides by 1000 with the slow division instruction there.
[[gnu::hot]] void write_atom_records(std::span<const Coor3f> atom,
                                     const RecordLines& lines,
                                     const MmcifLayout& layout, FILE* out) {
  static const char blanks[kHeadLength + 1] = "                              ";
  if (layout.headers.size != 0) {
    write_mmcif_records(atom, lines, layout, out);
    return;
  }
  if (atom.empty()) return;
  OutputBlock block = start_output_block(atom.size(), out);
  char fields[3 * kMaxFieldLength];
  LineCursor cursor = first_line(lines);
  for (size_t i = 0; i < atom.size(); ++i) {
    const std::string_view line = next_line(cursor);
    // The lines mostly follow one another through the text.
    __builtin_prefetch(line.data() + 2048);
    const size_t content = field_content_length(line.data(), line.size());
    // The common record: copied whole, its fields rewritten in place.
    if (content >= kTailOffset && block.used + line.size() <= block.size) {
      char* record = block.data + block.used;
      memcpy(record, line.data(), line.size());
      const double xyz[3] = {atom[i].x, atom[i].y, atom[i].z};
      if (format_coordinate_fields(xyz, record + kXOffset)) {
        block.used += line.size();
        continue;
      }
    }
    size_t tail = kTailOffset;
    if (content >= kTailOffset) {
      put_bytes(block, line.data(), kHeadLength);
    } else {
      // A short record: its head padded with blanks, its fields rewritten
      // in full, then only its own terminator.
      const size_t head = content < kHeadLength ? content : kHeadLength;
      put_bytes(block, line.data(), head);
      put_bytes(block, blanks, kHeadLength - head);
      tail = content;
    }
    size_t length = format_coordinate(atom[i].x, fields);
    length += format_coordinate(atom[i].y, fields + length);
    length += format_coordinate(atom[i].z, fields + length);
    put_bytes(block, fields, length);
    put_bytes(block, line.data() + tail, line.size() - tail);
  }
  finish_output_block(block);
}
