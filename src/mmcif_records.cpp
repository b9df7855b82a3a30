#include "mmcif_records.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "cif_tokens.h"
#include "coordinate_fields.h"
#include "output_block.h"

MmcifLayout mmcif;

namespace {

// The columns of an _atom_site loop that the tool reads; -1 where the loop
// has none.
struct AtomSiteColumns {
  long group = -1;
  long xyz[3] = {-1, -1, -1};
  // The columns whose values the move would make wrong, as it changes none
  // but x, y and z: fractional coordinates, anisotropic tensors, the
  // standard uncertainties of x, y and z. Only unknown values pass.
  std::vector<long> stale;
};

bool is_stale_tag(std::string_view tag) {
  return starts_ignoring_case(tag, "_atom_site.fract_") ||
         starts_ignoring_case(tag, "_atom_site.aniso_U") ||
         starts_ignoring_case(tag, "_atom_site.aniso_B") ||
         (starts_ignoring_case(tag, "_atom_site.Cartn_") &&
          tag.size() > sizeof "_atom_site.Cartn_x" - 1);
}

AtomSiteColumns find_columns(const std::vector<std::string_view>& tags) {
  static const char* const kCoordinateTags[3] = {
      "_atom_site.Cartn_x", "_atom_site.Cartn_y", "_atom_site.Cartn_z"};
  AtomSiteColumns columns;
  for (size_t i = 0; i < tags.size(); ++i) {
    const auto column = static_cast<long>(i);
    if (equals_ignoring_case(tags[i], "_atom_site.group_PDB"))
      columns.group = column;
    for (int k = 0; k < 3; ++k)
      if (equals_ignoring_case(tags[i], kCoordinateTags[k]))
        columns.xyz[k] = column;
    if (is_stale_tag(tags[i])) columns.stale.push_back(column);
  }
  return columns;
}

bool is_value(CifTokenKind kind) {
  return kind == CifTokenKind::kValue || kind == CifTokenKind::kQuoted ||
         kind == CifTokenKind::kTextField;
}

// Where a piece of the text that is kept starts: at its first token, or at
// the start of that token's line when only blanks stand before it there.
const char* piece_start(const char* text, const char* token) {
  const char* at = token;
  while (at > text && (at[-1] == ' ' || at[-1] == '\t')) --at;
  return at == text || at[-1] == '\n' ? at : token;
}

// Where a piece of the text that is kept ends: after the end of its last
// token's line when only blanks or a comment follow the token there, or
// else where the next token on that line starts.
const char* piece_end(const char* end, const char* token_end) {
  const char* at = token_end;
  while (at < end && (*at == ' ' || *at == '\t' || *at == '\r')) ++at;
  if (at == end) return end;
  if (*at == '\n') return at + 1;
  if (*at != '#') return at;
  const auto* newline =
      static_cast<const char*>(memchr(at, '\n', static_cast<size_t>(end - at)));
  return newline == nullptr ? end : newline + 1;
}

std::string_view text_between(const char* start, const char* end) {
  return {start, static_cast<size_t>(end - start)};
}

// An atom record read but not yet kept: its text ends where the next row
// starts, or where the loop ends.
struct PendingRow {
  const char* start = nullptr;
  Coor3f coordinates{};
  MmcifRow places{};
};

// Places value k of a row that starts at start, in a text that ends at
// end; false for a row too long for its places to be held.
bool place_value(const char* start, const char* value, size_t length,
                 const char* end, int k, MmcifRow* places) {
  const auto offset = static_cast<size_t>(value - start);
  if (offset >= kUnknownPosition) return false;
  places->value[k] = static_cast<uint32_t>(offset);
  size_t room = 0;
  if (length <= kFieldWidth) {
    // The blanks end inside the row: at its line's end, or at the token
    // that ends it.
    const char* const after = value + length;
    size_t blanks = 0;
    while (blanks <= UINT8_MAX && after + blanks < end && after[blanks] == ' ')
      ++blanks;
    room = std::min<size_t>(UINT8_MAX, length + (blanks == 0 ? 0 : blanks - 1));
  }
  places->room[k] = static_cast<uint8_t>(room);
  return true;
}

struct MmcifReader {
  const char* text;
  const char* end;
  CifCursor cursor;
  GrowableArray<Coor3f>& atom;
  RecordLines& lines;
  MmcifLayout& layout;
  MmcifRefusal* refusal;
  // The data_ line of the block read now, until a loop's header gives it.
  std::string_view block_line;
};

int refuse(MmcifReader& reader, const char* at, const char* reason,
           std::string_view text = {}) {
  *reader.refusal = {static_cast<size_t>(at - reader.text), reason, text};
  return kRefused;
}

// Appends the places of the next atom record to layout; false when there
// is no room for them.
[[gnu::always_inline]] inline bool append_row_places(MmcifLayout& layout,
                                                     const MmcifRow& places) {
  if (layout.rows.size != 0) {
    MmcifRowRun& last = layout.rows.data[layout.rows.size - 1];
    if (last.count != UINT32_MAX &&
        memcmp(&last.places, &places, sizeof places) == 0) {
      ++last.count;
      return true;
    }
  }
  return append(layout.rows, MmcifRowRun{places, 1});
}

// Drops the places of the last atom record.
void drop_last_row_places(MmcifLayout& layout) {
  MmcifRowRun& last = layout.rows.data[layout.rows.size - 1];
  if (--last.count == 0) --layout.rows.size;
}

// Keeps the row from its start to end.
[[gnu::always_inline]] inline int keep_row(MmcifReader& reader,
                                           const PendingRow& row,
                                           const char* end) {
  if (!append(reader.atom, row.coordinates)) return ENOMEM;
  if (!append_row_places(reader.layout, row.places)) {
    --reader.atom.size;
    return ENOMEM;
  }
  const auto length = static_cast<size_t>(end - row.start);
  if (has_room_for_step(reader.lines, row.start, length)) {
    append_step(reader.lines, row.start, length);
  } else if (!append_line(reader.lines, {row.start, length})) {
    --reader.atom.size;
    drop_last_row_places(reader.layout);
    return ENOMEM;
  }
  return 0;
}

// Reads the x, y and z of an atom record that starts at start into row:
// each a plain number, or all three unknown.
int read_coordinates(MmcifReader& reader, const CifToken (&values)[3],
                     const CifToken& first, const char* start,
                     PendingRow* row) {
  row->start = start;
  double xyz[3] = {};
  int unknown = 0;
  for (int k = 0; k < 3; ++k) {
    const CifToken& token = values[k];
    const char* at = token.text.data();
    if (token.kind == CifTokenKind::kQuoted)
      return refuse(reader, at, "coordinate value is quoted: ", token.text);
    if (token.kind == CifTokenKind::kTextField)
      return refuse(reader, at, "coordinate value is a text field");
    if (token.text == "?" || token.text == ".") {
      ++unknown;
      continue;
    }
    if (!place_value(start, at, token.text.size(), reader.end, k, &row->places))
      return refuse(reader, start, "row longer than 4 GiB");
    if (read_decimal_number(at, token.text.size(), &xyz[k])) {
      if (std::isfinite(xyz[k])) continue;
      return refuse(reader, at,
                    "coordinate value is out of range: ", token.text);
    }
    if (token.text.find('(') != std::string_view::npos)
      return refuse(reader, at, "coordinate value has a standard uncertainty: ",
                    token.text);
    return refuse(reader, at, "coordinate value is not a number: ", token.text);
  }
  if (unknown == 3) {
    std::fill(std::begin(row->places.value), std::end(row->places.value),
              kUnknownPosition);
  } else if (unknown != 0) {
    return refuse(reader, first.text.data(),
                  "some but not all of x, y and z are unknown");
  }
  row->coordinates = {xyz[0], xyz[1], xyz[2]};
  return 0;
}

// A row that stands alone on its line, all its values plain: where its
// values start, and where the next line starts.
struct PlainRow {
  const char* group;
  const char* value[3];
  size_t length[3];  // 0 where the value runs on past its 64 bytes
  const char* next_line;
};

// A column that the tool reads, and what it is: coordinate k (0 to 2), or
// group_PDB (-1).
struct ColumnRole {
  size_t column;
  int coordinate;
};

// The columns that the tool reads, in order, and the loop's width.
struct RowShape {
  std::vector<ColumnRole> read;
  size_t width;
};

RowShape row_shape(const AtomSiteColumns& columns, long width) {
  RowShape shape{{}, static_cast<size_t>(width)};
  for (long column = 0; column < width; ++column) {
    if (column == columns.group)
      shape.read.push_back({static_cast<size_t>(column), -1});
    for (int k = 0; k < 3; ++k)
      if (column == columns.xyz[k])
        shape.read.push_back({static_cast<size_t>(column), k});
  }
  return shape;
}

// The rows of an aligned loop, as the archive writes them, all have the
// same length and their values start at the same places: a row read the
// general plain way leaves its shape here (rows of up to 256 bytes, that
// end with a newline), and the rows after it are checked against it rather
// than walked value by value.
struct RowPattern {
  size_t length = 0;  // 0 while there is none
  size_t blocks;      // of 64 bytes, the last perhaps in part
  uint64_t starts[kMostRowBlocks];
  uint64_t in_row[kMostRowBlocks];  // the row's bytes of each block
  // The bytes that stop a row where they stand in the pattern: its
  // newline, its last byte, and a carriage return before it.
  uint64_t line_end[kMostRowBlocks];
  uint32_t group;
  // The places of x, y and z, each with its room at the least: up to the
  // next value, or to the line's end, but one byte. A value longer than
  // that has its own length for room.
  MmcifRow places;
  // Whether each least room is eight bytes or more, which no value read
  // here is longer than.
  bool roomy;
  // Whether the row ends with a carriage return before its newline.
  bool crlf;
};

// Sets the parts of pattern that follow from the starts of its values and
// the last bytes of the row at line.
void finish_pattern(const char* line, const uint64_t (&starts)[kMostRowBlocks],
                    RowPattern* pattern) {
  const size_t length = pattern->length;
  pattern->blocks = (length + 63) / 64;
  pattern->crlf = length >= 2 && line[length - 2] == '\r';
  const size_t line_end = pattern->crlf ? length - 2 : length - 1;
  for (size_t b = 0; b < pattern->blocks; ++b) {
    const size_t in_block = std::min<size_t>(64, length - 64 * b);
    pattern->starts[b] = starts[b];
    pattern->in_row[b] =
        in_block == 64 ? ~uint64_t{0} : (uint64_t{1} << in_block) - 1;
    pattern->line_end[b] = 0;
  }
  for (size_t at = line_end; at < length; ++at)
    pattern->line_end[at / 64] |= uint64_t{1} << (at % 64);
  MmcifRow& places = pattern->places;
  places.spare = 0;
  for (int k = 0; k < 3; ++k) {
    size_t next = places.value[k] + 1;
    while (next < line_end && ((starts[next / 64] >> (next % 64)) & 1) == 0)
      ++next;
    places.room[k] = static_cast<uint8_t>(next - places.value[k] - 1);
  }
  pattern->roomy = *std::min_element(pattern->places.room,
                                     pattern->places.room + 3) >= kFieldWidth;
}

// Reads the line at line as one row when it holds exactly as many values as
// the loop has columns, none of them quoted, a text field or a comment, and
// no '_' anywhere (so no tag or reserved word): 64 bytes at a time, from
// masks of its bytes. False where the general way must read it. Where it
// reads the row, it leaves the row's shape in pattern.
bool read_plain_row(const char* line, const char* end, const RowShape& shape,
                    PlainRow* row, RowPattern* pattern) {
  pattern->length = 0;
  // A row starts at its line's start only where blanks alone stand before
  // its first value; a carriage return there goes with the row before.
  for (const char* at = line;
       at < end && (*at == ' ' || *at == '\t' || *at == '\r'); ++at)
    if (*at == '\r') return false;
  uint64_t pattern_starts[kMostRowBlocks];
  size_t column = 0;
  const ColumnRole* wanted = shape.read.data();
  const ColumnRole* const wanted_end = wanted + shape.read.size();
  uint64_t after_white = 1;
  for (const char* block = line;; block += 64) {
    const auto left = static_cast<size_t>(end - block);
    CifByteMasks masks;
    size_t length = 64;
    if (left >= 64) {
      masks = cif_byte_masks(block);
    } else {
      char last[64] = {};
      memcpy(last, block, left);
      masks = cif_byte_masks(last);
      length = left;
    }
    const bool line_ends = masks.newline != 0 || length < 64;
    if (masks.newline != 0) {
      const auto newline = static_cast<size_t>(std::countr_zero(masks.newline));
      if (newline < length) length = newline + 1;
    }
    const uint64_t in_line =
        length == 64 ? ~uint64_t{0} : (uint64_t{1} << length) - 1;
    uint64_t starts =
        ~masks.white & ((masks.white << 1) | after_white) & in_line;
    if (((masks.opener & starts) | (masks.underscore & in_line)) != 0)
      return false;
    const auto block_index = static_cast<size_t>(block - line) / 64;
    if (block_index < kMostRowBlocks) pattern_starts[block_index] = starts;
    const auto count = static_cast<size_t>(std::popcount(starts));
    // The values wanted in this block: skip the starts before each.
    for (size_t at_column = column;
         wanted != wanted_end && wanted->column < column + count; ++wanted) {
      for (; at_column < wanted->column; ++at_column) starts &= starts - 1;
      const int start = std::countr_zero(starts);
      const char* value = block + start;
      const uint64_t white_after = masks.white >> start;
      const size_t value_length =
          white_after == 0 ? 0
                           : static_cast<size_t>(std::countr_zero(white_after));
      if (wanted->coordinate < 0) {
        row->group = value;
      } else {
        row->value[wanted->coordinate] = value;
        row->length[wanted->coordinate] = value_length;
      }
    }
    column += count;
    if (column > shape.width) return false;
    if (line_ends) {
      row->next_line = block + length;
      if (column != shape.width) return false;
      const auto row_length = static_cast<size_t>(row->next_line - line);
      // A loop without all of x, y and z has no places to give. A row
      // whose line begins with white space gives none either: it may hold
      // a carriage return, which goes with the row before.
      if (row_length <= 64 * kMostRowBlocks && row->next_line[-1] == '\n' &&
          (pattern_starts[0] & 1) != 0 && row->value[0] != nullptr &&
          row->value[1] != nullptr && row->value[2] != nullptr) {
        pattern->length = row_length;
        // A loop without group_PDB leaves it unread: any place will do.
        pattern->group = row->group == nullptr
                             ? 0
                             : static_cast<uint32_t>(row->group - line);
        for (int k = 0; k < 3; ++k)
          pattern->places.value[k] =
              static_cast<uint32_t>(row->value[k] - line);
        finish_pattern(line, pattern_starts, pattern);
      }
      return true;
    }
    after_white = masks.white >> 63;
  }
}

// The plain number of each of a plain row's x, y and z; false for any other
// value, which the general way reads (and, but for "?" and ".", refuses).
bool read_plain_coordinates(PlainRow& row, const char* text, const char* end,
                            Coor3f* coordinates) {
  double xyz[3];
  const char* ends[3];
  bool all_in_place = true;
  for (int k = 0; k < 3; ++k) {
    if (row.length[k] == 0) {
      const char* value_end = row.value[k];
      while (value_end < end && !is_cif_white_space(*value_end)) ++value_end;
      row.length[k] = static_cast<size_t>(value_end - row.value[k]);
    }
    ends[k] = row.value[k] + row.length[k];
    all_in_place = all_in_place && ends[k] - text >= ptrdiff_t{kFieldWidth};
  }
  // Values with eight bytes of the text up to their ends are read in place.
  if (all_in_place) {
    if (!read_decimal_numbers_ending_at(ends, row.length, xyz)) return false;
  } else {
    for (int k = 0; k < 3; ++k)
      if (!read_decimal_number(row.value[k], row.length[k], &xyz[k]))
        return false;
  }
  // Beyond a double's range: refused the general way.
  for (const double value : xyz)
    if (!std::isfinite(value)) return false;
  *coordinates = {xyz[0], xyz[1], xyz[2]};
  return true;
}

// True when a row's masks show the pattern's shape: its values start where
// the pattern's do, and the bytes that stop a row stand where they do in
// it. Blocks is the pattern's number of blocks, or 0 for any.
template <size_t Blocks>
[[gnu::always_inline]] inline bool has_pattern_shape(
    const CifRowMasks& masks, const RowPattern& pattern) {
  const size_t blocks = Blocks == 0 ? pattern.blocks : Blocks;
  uint64_t after_white = 1;
  bool same = true;
  for (size_t b = 0; b < blocks; ++b) {
    const uint64_t white = masks.white[b];
    const uint64_t in_row = pattern.in_row[b];
    const uint64_t starts = ~white & ((white << 1) | after_white) & in_row;
    same &= starts == pattern.starts[b] &&
            (masks.stop[b] & in_row) == pattern.line_end[b];
    after_white = white >> 63;
  }
  return same;
}

// True when the number at value, in a row of a pattern in which a number
// there had length bytes, has length bytes too: its last byte stands
// there and the row's white space after it. Within the number, the row
// can hold no white space, as no value starts there.
bool ends_at(const char* value, size_t length) {
  return static_cast<unsigned char>(value[length - 1]) > ' ' &&
         static_cast<unsigned char>(value[length]) <= ' ';
}

// How many of the pattern's rows, each one line long, may be kept from
// now on the short way, without keep_row's checks: as long as the arrays
// have room, and the last run has the places that such rows all have,
// and may count more rows.
size_t short_keep_room(const MmcifReader& reader, const RowPattern& pattern) {
  const MmcifLayout& layout = reader.layout;
  if (!pattern.roomy || reader.lines.end == nullptr || layout.rows.size == 0)
    return 0;
  const MmcifRowRun& last = layout.rows.data[layout.rows.size - 1];
  if (memcmp(&last.places, &pattern.places, sizeof last.places) != 0) return 0;
  return std::min({reader.atom.capacity - reader.atom.size,
                   reader.lines.steps.capacity - reader.lines.steps.size,
                   size_t{UINT32_MAX - last.count}});
}

// Reads the rows from line on while each has the pattern's shape and
// holds none of the bytes that cif_row_masks stops at, and is either no
// atom record or one whose x, y and z are plain numbers: each row keeps
// the pending one, and an atom record becomes the pending one. Returns the
// start of the first line it didn't read; error is set to ENOMEM where
// there was no room to keep a row. The masks of each row come from
// row_masks, and its numbers from read_numbers, or from
// read_numbers_of_lengths where they have the lengths of the last ones.
template <void (*row_masks)(const char*, size_t, CifRowMasks*),
          bool (*read_numbers)(const char* const*, size_t*, double*),
          bool (*read_numbers_of_lengths)(const char* const*, const size_t*,
                                          double*)>
[[gnu::always_inline]] inline const char* read_rows_like_pattern_with(
    MmcifReader& reader, const RowPattern& pattern, bool has_group,
    const char* line, PendingRow* pending, int* error) {
  const size_t length = pattern.length;
  const size_t blocks = pattern.blocks;
  const char* const end = reader.end;
  // The numbers are read from the nine bytes that start with them, and
  // group_PDB from its first four.
  const size_t most_read = std::max<size_t>(
      {64 * blocks,
       *std::max_element(pattern.places.value, pattern.places.value + 3) +
           kFieldWidth + 1,
       pattern.group + size_t{4}});
  GrowableArray<Coor3f>& atoms = reader.atom;
  RecordLines& rows_kept = reader.lines;
  MmcifLayout& layout = reader.layout;
  // The row pending on entry may be any; those pending later are this
  // loop's, one line long.
  size_t short_keeps = 0;
  // The lengths of the last atom record's numbers, 0 before the first. A
  // row's numbers mostly have the lengths of the row before: where each
  // has, its length needn't be looked for.
  size_t lengths[3] = {};
  while (static_cast<size_t>(end - line) >= most_read) {
    // The hardware's own prefetch stops at page boundaries.
    __builtin_prefetch(line + 1024);
    CifRowMasks masks;
    row_masks(line, blocks, &masks);
    // Rows of up to 128 bytes, as nearly all are, are told with the
    // number of blocks known.
    const bool same = blocks == 2   ? has_pattern_shape<2>(masks, pattern)
                      : blocks == 1 ? has_pattern_shape<1>(masks, pattern)
                                    : has_pattern_shape<0>(masks, pattern);
    // The bytes that stop the row are not only the newline and the
    // carriage return: a '#' where the newline stood would end a shorter
    // row, and another control byte where the carriage return stood would
    // be part of the last value.
    if (!same || line[length - 1] != '\n' ||
        (pattern.crlf && line[length - 2] != '\r'))
      break;
    const char* group = line + pattern.group;
    const bool is_atom_record = !has_group || memcmp(group, "ATOM", 4) == 0;
    double xyz[3];
    if (is_atom_record) {
      const char* const starts[3] = {line + pattern.places.value[0],
                                     line + pattern.places.value[1],
                                     line + pattern.places.value[2]};
      // Numbers of other shapes are read the general way (which, unlike
      // these, may give values beyond a double's range, to be refused).
      if (lengths[0] != 0 && ends_at(starts[0], lengths[0]) &&
          ends_at(starts[1], lengths[1]) && ends_at(starts[2], lengths[2])) {
        if (!read_numbers_of_lengths(starts, lengths, xyz)) break;
      } else if (!read_numbers(starts, lengths, xyz)) {
        break;
      }
    }
    if (pending->start != nullptr) {
      if (short_keeps != 0 && pending->start - rows_kept.end <= UINT16_MAX) {
        atoms.data[atoms.size++] = pending->coordinates;
        append_step(rows_kept, pending->start, length);
        ++layout.rows.data[layout.rows.size - 1].count;
        --short_keeps;
      } else {
        *error = keep_row(reader, *pending, line);
        if (*error != 0) return line;
        short_keeps = short_keep_room(reader, pattern);
      }
      pending->start = nullptr;
    }
    if (is_atom_record) {
      pending->start = line;
      pending->coordinates = {xyz[0], xyz[1], xyz[2]};
      // Each number ends where the row's white space does, as the row
      // holds no other bytes below '!'. The white space that follows, up
      // to the next value or the line's end, is blanks.
      pending->places = pattern.places;
      if (!pattern.roomy)
        for (int k = 0; k < 3; ++k)
          if (lengths[k] > pattern.places.room[k])
            pending->places.room[k] = static_cast<uint8_t>(lengths[k]);
    }
    line += length;
  }
  return line;
}

#if defined(__x86_64__) || defined(__i386__)
// The same built for processors with AVX-512BW (which all have BMI2): the
// masks are made in the loop and kept in registers, and the rest takes
// fewer instructions. It read ten million rows in 4 % less time.
[[gnu::target("avx512bw,bmi,bmi2")]] const char* read_rows_like_pattern_avx512(
    MmcifReader& reader, const RowPattern& pattern, bool has_group,
    const char* line, PendingRow* pending, int* error) {
  return read_rows_like_pattern_with<
      cif_row_masks_avx512, read_thousandths_numbers_starting_at_avx512,
      read_thousandths_numbers_of_lengths_avx512>(reader, pattern, has_group,
                                                  line, pending, error);
}
#endif

const char* read_rows_like_pattern(MmcifReader& reader,
                                   const RowPattern& pattern, bool has_group,
                                   const char* line, PendingRow* pending,
                                   int* error) {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi2"))
    return read_rows_like_pattern_avx512(reader, pattern, has_group, line,
                                         pending, error);
#endif
  return read_rows_like_pattern_with<cif_row_masks,
                                     read_thousandths_numbers_starting_at,
                                     read_thousandths_numbers_of_lengths>(
      reader, pattern, has_group, line, pending, error);
}

// Reads the rows of an _atom_site loop, from its first value on; token is
// left at the first token after them.
int read_atom_site_loop(MmcifReader& reader, const CifToken& loop,
                        const std::vector<std::string_view>& tags,
                        CifToken& token) {
  const AtomSiteColumns columns = find_columns(tags);
  const auto width = static_cast<long>(tags.size());
  const RowShape shape = row_shape(columns, width);
  const bool has_coordinates =
      columns.xyz[0] >= 0 && columns.xyz[1] >= 0 && columns.xyz[2] >= 0;
  // Rows with values to check in columns the move would make wrong are
  // read token by token.
  const bool is_movable = has_coordinates && columns.stale.empty();
  const std::string_view& last_tag = tags.back();
  const std::string_view header =
      text_between(piece_start(reader.text, loop.text.data()),
                   piece_end(reader.end, last_tag.data() + last_tag.size()));
  bool header_given = false;
  PendingRow pending;
  // Keeps the row read before, which ends where the next one starts.
  const auto keep_pending = [&](const char* next_row) {
    if (pending.start == nullptr) return 0;
    const int error = keep_row(reader, pending, next_row);
    pending.start = nullptr;
    return error;
  };
  const auto give_header = [&]() {
    if (header_given) return true;
    header_given = true;
    const MmcifHeader given{reader.atom.size, reader.block_line, header};
    reader.block_line = {};
    return append(reader.layout.headers, given);
  };
  CifToken first{};
  CifToken group{};
  CifToken values[3] = {};
  std::vector<CifToken> stale_values(columns.stale.size());
  CifToken last{};
  RowPattern pattern;
  // Where the last row read as a plain row ended; nullptr after a token.
  const char* plain_end = nullptr;
  long column = 0;
  while (is_value(token.kind)) {
    if (column == 0) {
      first = token;
      const int error =
          keep_pending(piece_start(reader.text, token.text.data()));
      if (error != 0) return error;
    }
    if (column == columns.group) group = token;
    for (int k = 0; k < 3; ++k)
      if (column == columns.xyz[k]) values[k] = token;
    for (size_t s = 0; s < columns.stale.size(); ++s)
      if (column == columns.stale[s]) stale_values[s] = token;
    last = token;
    plain_end = nullptr;
    if (++column == width) {
      column = 0;
      if (columns.group < 0 || cif_value(group).substr(0, 4) == "ATOM") {
        if (!has_coordinates)
          return refuse(reader, loop.text.data(),
                        "_atom_site loop of atom records without all of "
                        "Cartn_x, Cartn_y and Cartn_z");
        for (size_t s = 0; s < columns.stale.size(); ++s) {
          const CifToken& stale = stale_values[s];
          if (stale.kind != CifTokenKind::kValue ||
              (stale.text != "?" && stale.text != "."))
            return refuse(reader, stale.text.data(),
                          "value that the move would make wrong, of ",
                          tags[static_cast<size_t>(columns.stale[s])]);
        }
        const int error = read_coordinates(
            reader, values, first, piece_start(reader.text, first.text.data()),
            &pending);
        if (error != 0) return error;
        if (!give_header()) return ENOMEM;
      }
      // The rows after it that stand alone on their lines, as nearly all
      // do, are read the fast way.
      for (;;) {
        // The cursor stands after a row's last value, or at the start of
        // the line after a plain row.
        const char* line = reader.cursor.at;
        if (line[-1] != '\n') {
          while (line < reader.end &&
                 (*line == ' ' || *line == '\t' || *line == '\r'))
            ++line;
          if (line == reader.end || *line != '\n') break;
          ++line;
        }
        // Rows of the last plain row's shape, as nearly all are, are read
        // the quickest way, once the loop's header is given.
        if (pattern.length != 0 && header_given && is_movable) {
          int error = 0;
          const char* const run_start = line;
          line = read_rows_like_pattern(reader, pattern, columns.group >= 0,
                                        line, &pending, &error);
          if (error != 0) return error;
          if (line != run_start) {
            reader.cursor.at = line;
            plain_end = line;
          }
        }
        PlainRow row{};
        if (!read_plain_row(line, reader.end, shape, &row, &pattern)) break;
        const bool is_atom_record =
            columns.group < 0 ||
            (reader.end - row.group >= 4 && memcmp(row.group, "ATOM", 4) == 0);
        // An atom record the general way must read starts at its first
        // token, which may stand after a carriage return: the row before
        // ends there, so it is kept only once this one is taken.
        Coor3f coordinates{};
        if (is_atom_record &&
            (!is_movable ||
             static_cast<size_t>(row.next_line - line) >= kUnknownPosition ||
             !read_plain_coordinates(row, reader.text, reader.end,
                                     &coordinates)))
          break;
        const int error = keep_pending(line);
        if (error != 0) return error;
        if (is_atom_record) {
          // Placed value by value, where keeping it will find it a row
          // later: a copy of the whole, just after byte-sized stores,
          // would wait on them.
          pending.start = line;
          pending.coordinates = coordinates;
          for (int k = 0; k < 3; ++k)
            place_value(line, row.value[k], row.length[k], reader.end, k,
                        &pending.places);
          if (!give_header()) return ENOMEM;
        }
        reader.cursor.at = row.next_line;
        plain_end = row.next_line;
      }
    }
    token = next_cif_token(reader.cursor);
  }
  // A quote or text field left open is told as such by the caller.
  if (token.kind == CifTokenKind::kUnterminatedQuote ||
      token.kind == CifTokenKind::kUnterminatedTextField)
    return 0;
  if (column != 0)
    return refuse(reader, last.text.data(),
                  "_atom_site loop ends inside a row");
  // A loop without values has no last value to end a row at.
  if (pending.start == nullptr) return 0;
  return keep_pending(
      plain_end != nullptr
          ? plain_end
          : piece_end(reader.end, last.text.data() + last.text.size()));
}

}  // namespace

int read_mmcif_records(const char* text, size_t size,
                       GrowableArray<Coor3f>& atom, RecordLines& lines,
                       MmcifLayout& layout, MmcifRefusal* refusal) {
  MmcifReader reader{text,    text + size, {text, text, text + size},
                     atom,    lines,       layout,
                     refusal, {}};
  static constexpr char kCif2Magic[] = "#\\#CIF_2.0";
  if (size >= sizeof kCif2Magic - 1 &&
      memcmp(text, kCif2Magic, sizeof kCif2Magic - 1) == 0 &&
      (size == sizeof kCif2Magic - 1 ||
       is_cif_white_space(text[sizeof kCif2Magic - 1])))
    return refuse(reader, text, "CIF 2.0 files are not read");
  start_text(lines);
  std::vector<std::string_view> tags;
  CifToken token = next_cif_token(reader.cursor);
  for (;;) {
    switch (token.kind) {
      case CifTokenKind::kEnd:
        return 0;
      case CifTokenKind::kUnterminatedQuote:
        return refuse(reader, token.text.data(), "unterminated quoted value");
      case CifTokenKind::kUnterminatedTextField:
        return refuse(reader, token.text.data(), "unterminated text field");
      case CifTokenKind::kData:
        reader.block_line = text_between(
            piece_start(text, token.text.data()),
            piece_end(reader.end, token.text.data() + token.text.size()));
        token = next_cif_token(reader.cursor);
        break;
      case CifTokenKind::kLoop: {
        const CifToken loop = token;
        tags.clear();
        for (token = next_cif_token(reader.cursor);
             token.kind == CifTokenKind::kTag;
             token = next_cif_token(reader.cursor))
          tags.push_back(token.text);
        if (!tags.empty() && starts_ignoring_case(tags[0], "_atom_site.")) {
          const int error = read_atom_site_loop(reader, loop, tags, token);
          if (error != 0) return error;
        } else {
          while (is_value(token.kind)) token = next_cif_token(reader.cursor);
        }
        break;
      }
      case CifTokenKind::kTag:
        if (starts_ignoring_case(token.text, "_atom_site."))
          return refuse(reader, token.text.data(),
                        "_atom_site items outside a loop are not read");
        token = next_cif_token(reader.cursor);
        if (is_value(token.kind)) token = next_cif_token(reader.cursor);
        break;
      default:
        token = next_cif_token(reader.cursor);
        break;
    }
  }
}

namespace {

// The most a row can grow by: each value written in full.
constexpr size_t kMostRowGrowth = 3 * kMaxFieldLength;

// Writes the row with its three values replaced to out, which has room for
// the row and kMostRowGrowth more; returns the length written. The row is
// copied whole and its values written over it, so that what stands between
// them is copied again only once a value has made the row longer.
size_t write_row(std::string_view row, const MmcifRow& places,
                 const Coor3f& atom, char* out) {
  memcpy(out, row.data(), row.size());
  const double xyz[3] = {atom.x, atom.y, atom.z};
  // The values in the order they stand in the row.
  int order[3] = {0, 1, 2};
  for (int i = 1; i < 3; ++i)
    for (int j = i;
         j > 0 && places.value[order[j]] < places.value[order[j - 1]]; --j)
      std::swap(order[j], order[j - 1]);
  // The new values' texts. (The fixed-column writer's three-at-once
  // formatting is left to it alone, so that it stays inlined there.)
  char fields[3][kMaxFieldLength];
  size_t lengths[3];
  for (int k = 0; k < 3; ++k)
    lengths[k] = format_coordinate_value(xyz[k], fields[k]);
  // Bytes of the row up to in have been written; the rest stand growth
  // bytes further on in out.
  size_t in = 0;
  size_t growth = 0;
  for (const int k : order) {
    const size_t start = places.value[k];
    if (growth != 0) memcpy(out + in + growth, row.data() + in, start - in);
    size_t old_length = 0;
    while (start + old_length < row.size() &&
           !is_cif_white_space(row[start + old_length]))
      ++old_length;
    const size_t length = lengths[k];
    char* const value = out + start + growth;
    for (size_t i = 0; i < length; ++i) value[i] = fields[k][i];
    in = start + old_length;
    if (length <= old_length) {
      for (size_t i = length; i < old_length; ++i) value[i] = ' ';
      continue;
    }
    size_t blanks = 0;
    while (in + blanks < row.size() && row[in + blanks] == ' ') ++blanks;
    const size_t extra = length - old_length;
    const size_t taken = blanks < 2 ? 0 : std::min(extra, blanks - 1);
    in += taken;
    growth += extra - taken;
  }
  if (growth != 0) memcpy(out + in + growth, row.data() + in, row.size() - in);
  return row.size() + growth;
}

constexpr uint64_t kBlanks = 0x2020202020202020;

// The eight bytes at at as one word, the first lowest, on any machine; and
// back.
uint64_t load_word(const char* at) {
  uint64_t word;
  memcpy(&word, at, sizeof word);
  if constexpr (std::endian::native == std::endian::big)
    word = __builtin_bswap64(word);
  return word;
}

void store_word(uint64_t word, char* at) {
  if constexpr (std::endian::native == std::endian::big)
    word = __builtin_bswap64(word);
  memcpy(at, &word, sizeof word);
}

// The low count bytes of a word (count 1 to 8).
uint64_t low_bytes(size_t count) { return ~uint64_t{0} >> (64 - 8 * count); }

// write_row for the usual row, a word a value: each new text of at most
// eight bytes and within its room, and the values in the order x, y, z
// unless each has room for eight bytes (roomy, which the caller works out
// once for a run of rows). False for any other row, with out's bytes
// undefined.
bool write_row_in_place(std::string_view row, const MmcifRow& places,
                        bool roomy, const Coor3f& atom, char* out) {
  const double xyz[3] = {atom.x, atom.y, atom.z};
  uint64_t fields[3];
  if (!format_coordinate_words(xyz, fields)) return false;
  memcpy(out, row.data(), row.size());
  // "%8.3f" blank-pads on the left: turned round, the text comes first and
  // the blanks after it. Where every value has room for eight bytes, each
  // text is stored so, touching no other value's bytes.
  if (roomy) {
    for (int k = 0; k < 3; ++k) {
      const auto blanks = std::countr_zero(fields[k] ^ kBlanks) / 8;
      store_word(std::rotr(fields[k], 8 * blanks), out + places.value[k]);
    }
    return true;
  }
  if (places.value[0] >= places.value[1] || places.value[1] >= places.value[2])
    return false;
  for (int k = 0; k < 3; ++k) {
    const size_t start = places.value[k];
    const size_t room = places.room[k];
    const uint64_t field = fields[k];
    const auto blanks = static_cast<int>(std::countr_zero(field ^ kBlanks) / 8);
    if (kFieldWidth - static_cast<size_t>(blanks) > room) return false;
    const uint64_t text = std::rotr(field, 8 * blanks);
    if (room >= kFieldWidth) {
      store_word(text, out + start);
      continue;
    }
    // The row's eight bytes from the value on, from the text where they
    // are all the row's (what the values before changed ends before it).
    const uint64_t bytes = load_word(
        start + kFieldWidth <= row.size() ? row.data() + start : out + start);
    const uint64_t in_room = low_bytes(room);
    store_word((text & in_room) | (bytes & ~in_room), out + start);
  }
  return true;
}

}  // namespace

void write_mmcif_records(std::span<const Coor3f> atom, const RecordLines& lines,
                         const MmcifLayout& layout, FILE* out) {
  if (atom.empty()) return;
  OutputBlock block = start_output_block(atom.size(), out);
  const MmcifHeader* header = layout.headers.data;
  const MmcifHeader* const headers_end = header + layout.headers.size;
  LineCursor cursor = first_line(lines);
  // The last byte written, a row's or a header's.
  char last = '\n';
  // Run by run, so that what the places tell is worked out once for many
  // rows.
  const MmcifRowRun* run = layout.rows.data;
  for (size_t i = 0; i < atom.size(); ++run) {
    const MmcifRow& places = run->places;
    const size_t run_end = i + run->count;
    const bool unknown = places.value[0] == kUnknownPosition;
    const bool roomy = std::min({places.room[0], places.room[1],
                                 places.room[2]}) >= kFieldWidth;
    while (i < run_end) {
      if (header != headers_end && header->first_record == i) {
        // None is a null view, which memcpy may not be given.
        if (!header->block_line.empty())
          put_bytes(block, header->block_line.data(),
                    header->block_line.size());
        put_bytes(block, header->loop_header.data(),
                  header->loop_header.size());
        last = header->loop_header.back();
        ++header;
      }
      const size_t rows_end =
          header != headers_end && header->first_record < run_end
              ? header->first_record
              : run_end;
      for (; i < rows_end; ++i) {
        const std::string_view row = next_line(cursor);
        // The rows mostly follow one another through the text.
        __builtin_prefetch(row.data() + 2048);
        // A ';' starts a text field at a line's start and a value
        // elsewhere; where dropped rows stood before the row, it goes on or
        // off a line's start as it stood in the text (a row never starts
        // the text).
        if (row[0] == ';' && (row.data()[-1] == '\n') != (last == '\n'))
          put_bytes(block, row.data()[-1] == '\n' ? "\n" : " ", 1);
        last = row.back();
        if (unknown) {
          put_bytes(block, row.data(), row.size());
          continue;
        }
        const size_t most = row.size() + kMostRowGrowth;
        if (block.used + most > block.size) finish_output_block(block);
        if (most <= block.size) {
          char* const at = block.data + block.used;
          block.used += write_row_in_place(row, places, roomy, atom[i], at)
                            ? row.size()
                            : write_row(row, places, atom[i], at);
        } else {
          std::string room(most, ' ');
          put_bytes(block, room.data(),
                    write_row(row, places, atom[i], room.data()));
        }
      }
    }
  }
  finish_output_block(block);
}

void release_mmcif_layout(MmcifLayout& layout) {
  release_array(layout.rows);
  release_array(layout.headers);
}
