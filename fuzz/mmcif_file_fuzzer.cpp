// Arbitrary bytes after "data_x\n", so that they are read as an mmCIF file.
// Besides what the sanitizers catch: the file is read whole, or refused
// with nothing kept and a line that exists; each record has its row and the
// places of its values, which hold the numbers read; what is written (data_
// lines, loop headers, rows) is pieces of the text in its own order; and the
// output, read back and written again, gives the same tokens.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "atom_records.h"
#include "cif_tokens.h"
#include "fuzz_file.h"
#include "written_records.h"

namespace {

struct Records {
  GrowableArray<Coor3f> atoms;
  RecordLines texts;
  MmcifLayout layout;
};

void release(Records& records) {
  release_array(records.atoms);
  release_lines(records.texts);
  release_mmcif_layout(records.layout);
  release_coordinate_texts();
}

int read(const std::string& text, Records& records) {
  const char* path = fuzz_file_with(
      reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return read_atom_records(path, records.atoms, records.texts, records.layout);
}

std::string written(const Records& records) {
  return written_records(items(records.atoms), records.texts, records.layout);
}

// Standard error is silenced for the phases: a failed check is told on
// descriptor 2 itself, so that the fuzzer's report says which.
#define CHECK(holds) ((holds) ? (void)0 : fail("check failed: " #holds "\n"))

[[noreturn]] void fail(const char* message) {
  (void)!write(2, message, strlen(message));
  abort();
}

// The refusal names a line of the text.
void check_refusal(const std::string& text) {
  const char* reason = coordinate_file_error(kRefused);
  CHECK(strncmp(reason, "line ", 5) == 0);
  char* end = nullptr;
  const unsigned long line = strtoul(reason + 5, &end, 10);
  CHECK(line >= 1 && line <= 1 + static_cast<size_t>(std::count(
                                     text.begin(), text.end(), '\n')));
  CHECK(strncmp(end, ": ", 2) == 0);
}

// A piece that starts no earlier than the one before ends.
void check_in_order(std::string_view piece, const char*& end) {
  CHECK(end == nullptr || piece.data() >= end);
  end = piece.data() + piece.size();
}

void check_layout(const Records& records) {
  const size_t count = records.atoms.size;
  CHECK(line_count(records.texts) == count);
  size_t counted = 0;
  for (size_t r = 0; r < records.layout.rows.size; ++r) {
    CHECK(records.layout.rows.data[r].count != 0);
    counted += records.layout.rows.data[r].count;
  }
  CHECK(counted == count);
  CHECK((records.layout.headers.size == 0) == (count == 0));
  const MmcifHeader* header = records.layout.headers.data;
  const MmcifHeader* const headers_end = header + records.layout.headers.size;
  const char* end = nullptr;
  LineCursor cursor = first_line(records.texts);
  // The run of the record read last (none yet: one before the first), and
  // its records still to come.
  size_t run = SIZE_MAX;
  uint32_t run_left = 0;
  for (size_t i = 0; i < count; ++i) {
    if (header != headers_end && header->first_record == i) {
      if (!header->block_line.empty()) check_in_order(header->block_line, end);
      check_in_order(header->loop_header, end);
      ++header;
    }
    const std::string_view row = next_line(cursor);
    check_in_order(row, end);
    if (run_left == 0) run_left = records.layout.rows.data[++run].count;
    --run_left;
    const MmcifRow& places = records.layout.rows.data[run].places;
    const Coor3f& atom = records.atoms.data[i];
    const double xyz[3] = {atom.x, atom.y, atom.z};
    for (int k = 0; k < 3; ++k) {
      const uint32_t place = places.value[k];
      CHECK((place == kUnknownPosition) ==
            (places.value[0] == kUnknownPosition));
      if (place == kUnknownPosition) continue;
      CHECK(place < row.size());
      // A value starts after white space, or right after a text field.
      CHECK(place == 0 || is_cif_white_space(row[place - 1]) ||
            row[place - 1] == ';');
      size_t length = 0;
      while (place + length < row.size() &&
             !is_cif_white_space(row[place + length]))
        ++length;
      double value;
      CHECK(read_decimal_number(row.data() + place, length, &value));
      CHECK(memcmp(&value, &xyz[k], sizeof value) == 0);
      // The room: the value and its blanks but one, where it is short.
      size_t blanks = 0;
      while (place + length + blanks < row.size() &&
             row[place + length + blanks] == ' ')
        ++blanks;
      const size_t room =
          length > 8
              ? 0
              : std::min<size_t>(255, length + (blanks == 0 ? 0 : blanks - 1));
      CHECK(places.room[k] == room);
    }
  }
  // Every header starts a record.
  CHECK(header == headers_end);
}

// The text's CIF tokens, white space and comments left out.
std::vector<std::string> tokens(const std::string& text) {
  std::vector<std::string> result;
  CifCursor cursor{text.data(), text.data(), text.data() + text.size()};
  for (CifToken token = next_cif_token(cursor);
       token.kind != CifTokenKind::kEnd; token = next_cif_token(cursor))
    result.emplace_back(token.text);
  return result;
}

bool all_finite(const GrowableArray<Coor3f>& atoms) {
  for (size_t i = 0; i < atoms.size; ++i)
    if (!std::isfinite(atoms.data[i].x) || !std::isfinite(atoms.data[i].y) ||
        !std::isfinite(atoms.data[i].z))
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_tool_output();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text =
      "data_x\n" + std::string(reinterpret_cast<const char*>(data), size);
  Records first;
  const int error = read(text, first);
  if (error == kRefused) {
    CHECK(first.atoms.size == 0 && line_count(first.texts) == 0 &&
          first.layout.rows.size == 0 && first.layout.headers.size == 0);
    check_refusal(text);
    release(first);
    return 0;
  }
  CHECK(error == 0);
  check_layout(first);
  const std::string output = written(first);
  const size_t count = first.atoms.size;
  const bool finite = all_finite(first.atoms);
  release(first);
  // "inf" is no number to read back.
  if (!finite || count == 0) return 0;

  // The values written are "%.3f" texts, and "%.3f" of the double read
  // from one gives it again: the same tokens come out, and so the same
  // values to within half a thousandth. Comments after a loop's last row
  // that a dropped row kept are dropped the second time.
  Records second;
  CHECK(read(output, second) == 0);
  CHECK(second.atoms.size == count);
  CHECK(tokens(written(second)) == tokens(output));
  release(second);
  return 0;
}
