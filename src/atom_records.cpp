#include "atom_records.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

std::vector<Coor3f> atom;
std::vector<std::string_view> lines;

// The text of a coordinate file read, mapped or allocated.
struct FileText {
  char* bytes;
  size_t size;
  bool mapped;
};

// Lines point into these, so they are kept until the process ends (or
// until release_coordinate_texts): the list itself is never destroyed, so
// that the texts stay reachable while the process exits.
static std::vector<FileText>& file_texts = *new std::vector<FileText>;

static bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

bool is_atom_record(const char* line, size_t length) {
  size_t i = 0;
  while (i < length && is_white_space(line[i])) ++i;
  return i + 4 <= length && memcmp(line + i, "ATOM", 4) == 0;
}

void release_coordinate_texts() {
  for (const FileText& text : file_texts) {
    if (text.mapped)
      munmap(text.bytes, text.size);
    else
      free(text.bytes);
  }
  file_texts.clear();
}

size_t terminator_length(const char* line, size_t length) {
  if (length == 0 || line[length - 1] != '\n') return 0;
  return length >= 2 && line[length - 2] == '\r' ? 2 : 1;
}

static const double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};

// The common field shape: blanks, an optional '-', digits, '.', digits,
// filling the field. Its value is the quotient of two exact doubles (at most
// seven digits over a power of ten up to 1e7), which the division rounds
// correctly, just as strtod rounds the decimal.
static bool read_plain_decimal(const char* field, double* value) {
  size_t i = 0;
  while (i < kFieldWidth && field[i] == ' ') ++i;
  const bool negative = i < kFieldWidth && field[i] == '-';
  if (negative) ++i;
  const size_t integer_start = i;
  uint32_t digits = 0;
  while (i < kFieldWidth && field[i] >= '0' && field[i] <= '9')
    digits = digits * 10 + static_cast<uint32_t>(field[i++] - '0');
  if (i == integer_start || i == kFieldWidth || field[i] != '.') return false;
  const size_t fraction_start = ++i;
  while (i < kFieldWidth && field[i] >= '0' && field[i] <= '9')
    digits = digits * 10 + static_cast<uint32_t>(field[i++] - '0');
  if (i != kFieldWidth) return false;
  const double magnitude =
      static_cast<double>(digits) / kPowersOfTen[kFieldWidth - fraction_start];
  *value = negative ? -magnitude : magnitude;
  return true;
}

// strtod over the field, blank-padded where the content ends inside it.
[[gnu::noinline]] static double read_coordinate_with_strtod(
    const char* content, size_t content_length, size_t offset) {
  char field[kFieldWidth + 1];
  for (size_t i = 0; i < kFieldWidth; ++i)
    field[i] = offset + i < content_length ? content[offset + i] : ' ';
  field[kFieldWidth] = '\0';
  return strtod(field, nullptr);
}

double read_coordinate(const char* content, size_t content_length,
                       size_t offset) {
  double value;
  if (offset + kFieldWidth <= content_length &&
      read_plain_decimal(content + offset, &value))
    return value;
  return read_coordinate_with_strtod(content, content_length, offset);
}

// The path of the file mapped last, for the message when its pages can no
// longer be read.
static char mapped_path[4096];

// Access to a mapped page past the end of a file cut short while the tool
// runs, or one the device can't read, raises SIGBUS: report it like a read
// error instead of dying of the signal.
static void report_unreadable_mapping(int) {
  static char program[] = "decompress-zaduride: ";
  static char reason[] = ": file truncated or unreadable while in use\n";
  const iovec message[] = {{program, sizeof program - 1},
                           {mapped_path, strlen(mapped_path)},
                           {reason, sizeof reason - 1}};
  // Nothing is left to do if even this fails.
  (void)!writev(2, message, 3);
  _exit(1);
}

// Maps a regular file whole, read-only and prefaulted: its bytes are used in
// place, with no copy. Returns false where the file can't be mapped.
static bool map_whole_file(FILE* file, const struct stat& status,
                           const char* path, char** text, size_t* size) {
  if (!S_ISREG(status.st_mode) || status.st_size <= 0) return false;
  void* mapped = mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ,
                      MAP_PRIVATE | MAP_POPULATE, fileno(file), 0);
  if (mapped == MAP_FAILED) return false;
  snprintf(mapped_path, sizeof mapped_path, "%s", path);
  struct sigaction action {};
  action.sa_handler = report_unreadable_mapping;
  sigaction(SIGBUS, &action, nullptr);
  *text = static_cast<char*>(mapped);
  *size = static_cast<size_t>(status.st_size);
  return true;
}

// Reads the whole stream into one allocation. Returns 0 or an errno; after
// an error, *text holds what was read before it.
static int read_whole_file(FILE* file, const struct stat& status, char** text,
                           size_t* size) {
  *text = nullptr;
  *size = 0;
  size_t capacity = 1 << 16;
  // One byte more than a regular file's size, so that its end is seen
  // without growing the buffer.
  if (S_ISREG(status.st_mode) && status.st_size > 0)
    capacity = static_cast<size_t>(status.st_size) + 1;
  char* buffer = static_cast<char*>(malloc(capacity));
  if (buffer == nullptr) return ENOMEM;
  size_t used = 0;
  int error = 0;
  for (;;) {
    if (used == capacity) {
      char* larger = static_cast<char*>(realloc(buffer, capacity * 2));
      if (larger == nullptr) {
        error = ENOMEM;
        break;
      }
      buffer = larger;
      capacity *= 2;
    }
    used += fread(buffer + used, 1, capacity - used, file);
    if (ferror(file)) {
      error = errno != 0 ? errno : EIO;
      break;
    }
    if (feof(file)) break;
  }
  *text = buffer;
  *size = used;
  return error;
}

int read_atom_records(const char* path, std::vector<Coor3f>& atom,
                      std::vector<std::string_view>& lines) {
  FILE* file = fopen(path, "r");
  if (file == nullptr) return errno;
  char* text;
  size_t size;
  int error = 0;
  // A status that can't be had reads as that of a non-regular file.
  struct stat status {};
  if (fstat(fileno(file), &status) != 0) status.st_mode = 0;
  const bool mapped = map_whole_file(file, status, path, &text, &size);
  if (!mapped) error = read_whole_file(file, status, &text, &size);
  fclose(file);
  if (text == nullptr) return error;
  file_texts.push_back({text, size, mapped});

  const char* end = text + size;
  if (error != 0) {
    // A line cut off by the error is not known to be whole: leave it out.
    const char* last_newline =
        static_cast<const char*>(memrchr(text, '\n', size));
    end = last_newline == nullptr ? text : last_newline + 1;
  }
  // Room for as many records as lines of 55 bytes (a full record and its
  // newline) would give: no growth, and no copy, for any file of whole
  // records. Capacity never written to takes no memory.
  const size_t expected_records = size / 55 + 1;
  atom.reserve(atom.size() + expected_records);
  lines.reserve(lines.size() + expected_records);
  for (const char* line = text; line < end;) {
    const char* newline = static_cast<const char*>(
        memchr(line, '\n', static_cast<size_t>(end - line)));
    const char* next = newline == nullptr ? end : newline + 1;
    const size_t length = static_cast<size_t>(next - line);
    if (is_atom_record(line, length)) {
      const size_t content = length - terminator_length(line, length);
      atom.push_back({read_coordinate(line, content, kXOffset),
                      read_coordinate(line, content, kYOffset),
                      read_coordinate(line, content, kZOffset)});
      lines.emplace_back(line, length);
    }
    line = next;
  }
  return error;
}

// Rounds value to a whole number of thousandths as printf rounds it: from
// the double's exact value, exact ties to even. False beyond 1e15, for inf
// and for nan.
static bool round_to_thousandths(double value, uint64_t* thousandths) {
  if (!(std::fabs(value) < 1e15)) return false;
  // value = mantissa * 2^-shift exactly.
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int shift = 1074;
  if (biased_exponent != 0) {
    mantissa |= uint64_t{1} << 52;
    shift = 1075 - biased_exponent;  // at least 3 below 1e15 < 2^50
  }
  const uint64_t scaled = mantissa * 1000;  // below 2^63
  *thousandths = 0;
  if (shift < 64) {
    *thousandths = scaled >> shift;
    const uint64_t remainder = scaled & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    if (remainder > half || (remainder == half && (*thousandths & 1) != 0))
      ++*thousandths;
  }
  return true;
}

// Writes the digits of thousandths as [-]integer.ddd so that they end just
// before end; returns where they start.
static char* put_fixed_three(uint64_t thousandths, bool negative, char* end) {
  char* p = end;
  for (int i = 0; i < 3; ++i) {
    *--p = static_cast<char>('0' + thousandths % 10);
    thousandths /= 10;
  }
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + thousandths % 10);
    thousandths /= 10;
  } while (thousandths != 0);
  if (negative) *--p = '-';
  return p;
}

size_t format_coordinate(double value, char* out) {
  uint64_t thousandths;
  if (!round_to_thousandths(value, &thousandths))
    return static_cast<size_t>(snprintf(out, kMaxFieldLength, "%8.3f", value));
  char digits[24];
  const char* start =
      put_fixed_three(thousandths, std::signbit(value), digits + sizeof digits);
  const size_t length = static_cast<size_t>(digits + sizeof digits - start);
  const size_t padding = length < kFieldWidth ? kFieldWidth - length : 0;
  memset(out, ' ', padding);
  memcpy(out + padding, start, length);
  return padding + length;
}

// Writes value as "%8.3f" into exactly the eight bytes of field when it
// fits there, as almost every coordinate does; false otherwise.
static bool format_coordinate_in_field(double value, char* field) {
  // value * 1000 rounded to double is off the exact product by half an ulp
  // at most; unless that leaves it within an ulp of a half, rounding it to
  // the nearest integer rounds the exact product the same way.
  const double scaled = value * 1000.0;
  if (!(std::fabs(scaled) < 1e7)) return false;
  // Adding and taking away 1.5 * 2^52 rounds to an integer, ties to even.
  const double rounded = (scaled + 0x1.8p52) - 0x1.8p52;
  const int64_t nearest = static_cast<int64_t>(rounded);
  const double distance = std::fabs(scaled - rounded);
  uint64_t thousandths =
      static_cast<uint64_t>(nearest < 0 ? -nearest : nearest);
  if (distance > 0.4999999 && !round_to_thousandths(value, &thousandths))
    return false;
  const bool negative = std::signbit(value);
  // 9999.999 and -999.999 are the widest that fit.
  if (thousandths >= (negative ? 1000000u : 10000000u)) return false;
  char* start = put_fixed_three(thousandths, negative, field + kFieldWidth);
  memset(field, ' ', static_cast<size_t>(start - field));
  return true;
}

void write_atom_records(const std::vector<Coor3f>& atom,
                        const std::vector<std::string_view>& lines, FILE* out) {
  static const char blanks[kHeadLength + 1] = "                              ";
  // Records are gathered here and written a block at a time.
  static char block[1 << 20];
  size_t used = 0;
  auto append = [&](const char* bytes, size_t length) {
    if (used + length > sizeof block) {
      fwrite(block, 1, used, out);
      used = 0;
      if (length > sizeof block) {
        fwrite(bytes, 1, length, out);
        return;
      }
    }
    memcpy(block + used, bytes, length);
    used += length;
  };
  char fields[3 * kMaxFieldLength];
  for (size_t i = 0; i < atom.size(); ++i) {
    const std::string_view line = lines[i];
    const size_t content =
        line.size() - terminator_length(line.data(), line.size());
    // The common record: copied whole, its fields rewritten in place.
    if (content >= kTailOffset && used + line.size() <= sizeof block) {
      char* record = block + used;
      memcpy(record, line.data(), line.size());
      if (format_coordinate_in_field(atom[i].x, record + kXOffset) &&
          format_coordinate_in_field(atom[i].y, record + kYOffset) &&
          format_coordinate_in_field(atom[i].z, record + kZOffset)) {
        used += line.size();
        continue;
      }
    }
    size_t tail = kTailOffset;
    if (content >= kTailOffset) {
      append(line.data(), kHeadLength);
    } else {
      // A short record: its head padded with blanks, its fields rewritten
      // in full, then only its own terminator.
      const size_t head = content < kHeadLength ? content : kHeadLength;
      append(line.data(), head);
      append(blanks, kHeadLength - head);
      tail = content;
    }
    size_t length = format_coordinate(atom[i].x, fields);
    length += format_coordinate(atom[i].y, fields + length);
    length += format_coordinate(atom[i].z, fields + length);
    append(fields, length);
    append(line.data() + tail, line.size() - tail);
  }
  fwrite(block, 1, used, out);
}
