#include "atom_records.h"

#include <fcntl.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

#include "file_bytes.h"
#include "newlines.h"

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

int read_atom_records(const char* path, GrowableArray<Coor3f>& atom,
                      RecordLines& lines) {
  FileBytes text;
  const int error = read_file_bytes(path, &text);
  if (text.bytes == nullptr) return error;
  file_texts.push_back(text);

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
  // mask marks.
  const auto take_lines = [&](const char* text_block, uint64_t mask) {
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

// Records are gathered in a block and written a block at a time.
constexpr size_t kBlockSize = size_t{1} << 20;
// What a record usually takes at most, to size the block for few records.
constexpr size_t kUsualRecordSize = 128;

// Room for the block of the given number of records. Many records get a
// whole huge page, so that filling the block faults once rather than once
// per 4 KiB page; few get what they need. Where no room can be had, a small
// block of its own does, at more writes.
static std::span<char> block_for(size_t records) {
  static GrowableArray<char> room;
  const size_t wanted = records > kBlockSize / kUsualRecordSize
                            ? kHugePage
                            : records * kUsualRecordSize;
  if (!reserve(room, wanted)) {
    static char small_block[4096];
    return small_block;
  }
  return {room.data, room.capacity < kBlockSize ? room.capacity : kBlockSize};
}

void write_atom_records(std::span<const Coor3f> atom, const RecordLines& lines,
                        FILE* out) {
  static const char blanks[kHeadLength + 1] = "                              ";
  if (atom.empty()) return;
  const std::span<char> room = block_for(atom.size());
  char* const block = room.data();
  const size_t block_size = room.size();
  // A pipe is given room for a whole block, so that each write is one
  // wake-up of the reader rather than sixteen.
  fcntl(fileno(out), F_SETPIPE_SZ, kBlockSize);
  size_t used = 0;
  auto append_bytes = [&](const char* bytes, size_t length) {
    if (used + length > block_size) {
      fwrite(block, 1, used, out);
      used = 0;
      if (length > block_size) {
        fwrite(bytes, 1, length, out);
        return;
      }
    }
    memcpy(block + used, bytes, length);
    used += length;
  };
  char fields[3 * kMaxFieldLength];
  LineCursor cursor = first_line(lines);
  for (size_t i = 0; i < atom.size(); ++i) {
    const std::string_view line = next_line(cursor);
    // The lines mostly follow one another through the text.
    __builtin_prefetch(line.data() + 2048);
    const size_t content = field_content_length(line.data(), line.size());
    // The common record: copied whole, its fields rewritten in place.
    if (content >= kTailOffset && used + line.size() <= block_size) {
      char* record = block + used;
      memcpy(record, line.data(), line.size());
      const double xyz[3] = {atom[i].x, atom[i].y, atom[i].z};
      if (format_coordinate_fields(xyz, record + kXOffset)) {
        used += line.size();
        continue;
      }
    }
    size_t tail = kTailOffset;
    if (content >= kTailOffset) {
      append_bytes(line.data(), kHeadLength);
    } else {
      // A short record: its head padded with blanks, its fields rewritten
      // in full, then only its own terminator.
      const size_t head = content < kHeadLength ? content : kHeadLength;
      append_bytes(line.data(), head);
      append_bytes(blanks, kHeadLength - head);
      tail = content;
    }
    size_t length = format_coordinate(atom[i].x, fields);
    length += format_coordinate(atom[i].y, fields + length);
    length += format_coordinate(atom[i].z, fields + length);
    append_bytes(fields, length);
    append_bytes(line.data() + tail, line.size() - tail);
  }
  fwrite(block, 1, used, out);
}
