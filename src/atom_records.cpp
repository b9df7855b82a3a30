#include "atom_records.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

std::vector<Coor3f> atom;
std::vector<std::string_view> lines;

// The texts of the coordinate files read; lines point into them, so they
// are kept until the process ends.
static std::vector<char*> file_texts;

static bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

bool is_atom_record(const char* line, size_t length) {
  size_t i = 0;
  while (i < length && is_white_space(line[i])) ++i;
  return length - i >= 4 && memcmp(line + i, "ATOM", 4) == 0;
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

double read_coordinate(const char* content, size_t content_length,
                       size_t offset) {
  double value;
  if (offset + kFieldWidth <= content_length &&
      read_plain_decimal(content + offset, &value))
    return value;
  char field[kFieldWidth + 1];
  for (size_t i = 0; i < kFieldWidth; ++i)
    field[i] = offset + i < content_length ? content[offset + i] : ' ';
  field[kFieldWidth] = '\0';
  return strtod(field, nullptr);
}

// Reads the whole stream into one allocation. Returns 0 or an errno; after
// an error, *text holds what was read before it.
static int read_whole_file(FILE* file, char** text, size_t* size) {
  *text = nullptr;
  *size = 0;
  struct stat status;
  size_t capacity = 1 << 16;
  // One byte more than a regular file's size, so that its end is seen
  // without growing the buffer.
  if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
      status.st_size > 0)
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
  const int error = read_whole_file(file, &text, &size);
  fclose(file);
  if (text == nullptr) return error;
  file_texts.push_back(text);

  const char* end = text + size;
  if (error != 0) {
    // A line cut off by the error is not known to be whole: leave it out.
    const char* last_newline = static_cast<const char*>(memrchr(text, '\n', size));
    end = last_newline == nullptr ? text : last_newline + 1;
  }
  // Room for a structure of typical records; more only grows the arrays.
  const size_t expected_records = size / 64 + 1;
  atom.reserve(atom.size() + expected_records);
  lines.reserve(lines.size() + expected_records);
  for (const char* line = text; line < end;) {
    const char* newline =
        static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
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

size_t format_coordinate(double value, char* out) {
  // Beyond 1e15, or for inf and nan, printf itself.
  if (!(std::fabs(value) < 1e15))
    return static_cast<size_t>(snprintf(out, kMaxFieldLength, "%8.3f", value));
  // value = mantissa * 2^-shift exactly; round mantissa * 1000 * 2^-shift to
  // an integer, exact ties to even, as printf rounds the exact value.
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
  uint64_t thousandths = 0;
  if (shift < 64) {
    thousandths = scaled >> shift;
    const uint64_t remainder = scaled & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    if (remainder > half || (remainder == half && (thousandths & 1) != 0))
      ++thousandths;
  }
  // Digits from the right: three decimals, the point, the integer part.
  char digits[24];
  char* p = digits + sizeof digits;
  for (int i = 0; i < 3; ++i) {
    *--p = static_cast<char>('0' + thousandths % 10);
    thousandths /= 10;
  }
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + thousandths % 10);
    thousandths /= 10;
  } while (thousandths != 0);
  if (std::signbit(value)) *--p = '-';
  const size_t length = static_cast<size_t>(digits + sizeof digits - p);
  const size_t padding = length < kFieldWidth ? kFieldWidth - length : 0;
  memset(out, ' ', padding);
  memcpy(out + padding, p, length);
  return padding + length;
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
    const size_t content = line.size() - terminator_length(line.data(), line.size());
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
