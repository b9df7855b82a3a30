#include "mmcif_records.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
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
};

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
  const char* value[3] = {};
};

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

// Keeps the row from its start to end.
int keep_row(MmcifReader& reader, const PendingRow& row, const char* end) {
  MmcifRow places;
  for (int k = 0; k < 3; ++k) {
    if (row.value[k] == nullptr) {
      places.value[k] = kUnknownPosition;
      continue;
    }
    const auto offset = static_cast<size_t>(row.value[k] - row.start);
    if (offset >= kUnknownPosition)
      return refuse(reader, row.start, "row longer than 4 GiB");
    places.value[k] = static_cast<uint32_t>(offset);
  }
  if (!append(reader.atom, row.coordinates)) return ENOMEM;
  if (!append(reader.layout.rows, places) ||
      !append_line(reader.lines, text_between(row.start, end))) {
    --reader.atom.size;
    reader.layout.rows.size = reader.atom.size;
    return ENOMEM;
  }
  return 0;
}

// Reads the x, y and z of an atom record into row: each a plain number, or
// all three unknown.
int read_coordinates(MmcifReader& reader, const CifToken (&values)[3],
                     const CifToken& first, PendingRow* row) {
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
    row->value[k] = at;
    if (read_decimal_number(at, token.text.size(), &xyz[k])) continue;
    if (token.text.find('(') != std::string_view::npos)
      return refuse(reader, at, "coordinate value has a standard uncertainty: ",
                    token.text);
    return refuse(reader, at, "coordinate value is not a number: ", token.text);
  }
  if (unknown == 3) {
    std::fill(std::begin(row->value), std::end(row->value), nullptr);
  } else if (unknown != 0) {
    return refuse(reader, first.text.data(),
                  "some but not all of x, y and z are unknown");
  }
  row->coordinates = {xyz[0], xyz[1], xyz[2]};
  return 0;
}

// Reads the rows of an _atom_site loop, from its first value on; token is
// left at the first token after them.
int read_atom_site_loop(MmcifReader& reader, const CifToken& loop,
                        const std::vector<std::string_view>& tags,
                        CifToken& token) {
  const AtomSiteColumns columns = find_columns(tags);
  const auto width = static_cast<long>(tags.size());
  const std::string_view& last_tag = tags.back();
  const std::string_view header =
      text_between(piece_start(reader.text, loop.text.data()),
                   piece_end(reader.end, last_tag.data() + last_tag.size()));
  bool header_given = false;
  PendingRow pending;
  CifToken first{};
  CifToken group{};
  CifToken values[3] = {};
  CifToken last{};
  long column = 0;
  for (; is_value(token.kind); token = next_cif_token(reader.cursor)) {
    if (column == 0) {
      first = token;
      if (pending.start != nullptr) {
        const int error = keep_row(reader, pending,
                                   piece_start(reader.text, token.text.data()));
        if (error != 0) return error;
        pending.start = nullptr;
      }
    }
    if (column == columns.group) group = token;
    for (int k = 0; k < 3; ++k)
      if (column == columns.xyz[k]) values[k] = token;
    last = token;
    if (++column < width) continue;
    column = 0;
    if (columns.group >= 0 && cif_value(group).substr(0, 4) != "ATOM") continue;
    if (columns.xyz[0] < 0 || columns.xyz[1] < 0 || columns.xyz[2] < 0)
      return refuse(reader, loop.text.data(),
                    "_atom_site loop of atom records without all of "
                    "Cartn_x, Cartn_y and Cartn_z");
    const int error = read_coordinates(reader, values, first, &pending);
    if (error != 0) return error;
    pending.start = piece_start(reader.text, first.text.data());
    if (!header_given) {
      if (!append(reader.layout.headers,
                  {reader.atom.size, reader.block_line, header}))
        return ENOMEM;
      reader.block_line = {};
      header_given = true;
    }
  }
  // A quote or text field left open is told as such by the caller.
  if (token.kind == CifTokenKind::kUnterminatedQuote ||
      token.kind == CifTokenKind::kUnterminatedTextField)
    return 0;
  if (column != 0)
    return refuse(reader, last.text.data(),
                  "_atom_site loop ends inside a row");
  if (pending.start != nullptr)
    return keep_row(reader, pending,
                    piece_end(reader.end, last.text.data() + last.text.size()));
  return 0;
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

// Puts count blanks in the block.
void put_blanks(OutputBlock& block, size_t count) {
  static const char blanks[64] = {
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  for (; count > sizeof blanks; count -= sizeof blanks)
    put_bytes(block, blanks, sizeof blanks);
  put_bytes(block, blanks, count);
}

// Writes the row with its three values replaced.
void put_row(OutputBlock& block, std::string_view row, const MmcifRow& places,
             const Coor3f& atom) {
  const double xyz[3] = {atom.x, atom.y, atom.z};
  // The values in the order they stand in the row.
  int order[3] = {0, 1, 2};
  for (int i = 1; i < 3; ++i)
    for (int j = i;
         j > 0 && places.value[order[j]] < places.value[order[j - 1]]; --j)
      std::swap(order[j], order[j - 1]);
  char digits[kMaxFieldLength];
  size_t at = 0;
  for (const int k : order) {
    const size_t start = places.value[k];
    put_bytes(block, row.data() + at, start - at);
    size_t old_end = start;
    while (old_end < row.size() && !is_cif_white_space(row[old_end])) ++old_end;
    const size_t old_length = old_end - start;
    const size_t length = format_coordinate_value(xyz[k], digits);
    put_bytes(block, digits, length);
    at = old_end;
    if (length <= old_length) {
      put_blanks(block, old_length - length);
      continue;
    }
    size_t blanks = 0;
    while (at + blanks < row.size() && row[at + blanks] == ' ') ++blanks;
    const size_t extra = length - old_length;
    if (blanks > 1) at += extra < blanks - 1 ? extra : blanks - 1;
  }
  put_bytes(block, row.data() + at, row.size() - at);
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
  for (size_t i = 0; i < atom.size(); ++i) {
    if (header != headers_end && header->first_record == i) {
      // None is a null view, which memcpy may not be given.
      if (!header->block_line.empty())
        put_bytes(block, header->block_line.data(), header->block_line.size());
      put_bytes(block, header->loop_header.data(), header->loop_header.size());
      last = header->loop_header.back();
      ++header;
    }
    const std::string_view row = next_line(cursor);
    // A ';' starts a text field at a line's start and a value elsewhere;
    // where dropped rows stood before the row, it goes on or off a line's
    // start as it stood in the text (a row never starts the text).
    if (row[0] == ';' && (row.data()[-1] == '\n') != (last == '\n'))
      put_bytes(block, row.data()[-1] == '\n' ? "\n" : " ", 1);
    last = row.back();
    const MmcifRow& places = layout.rows.data[i];
    if (places.value[0] == kUnknownPosition)
      put_bytes(block, row.data(), row.size());
    else
      put_row(block, row, places, atom[i]);
  }
  finish_output_block(block);
}

void release_mmcif_layout(MmcifLayout& layout) {
  release_array(layout.rows);
  release_array(layout.headers);
}
