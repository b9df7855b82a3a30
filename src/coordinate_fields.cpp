#include "coordinate_fields.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint64_t kOnes = 0x0101010101010101;
constexpr uint64_t kHighs = 0x8080808080808080;

// The eight bytes of a field as one word, its first byte lowest, whatever
// the machine's byte order.
inline uint64_t load_field(const char* field) {
  uint64_t word;
  memcpy(&word, field, sizeof word);
  if constexpr (std::endian::native == std::endian::big)
    word = __builtin_bswap64(word);
  return word;
}

// The common field shape: blanks, an optional '-', one to four digits, the
// point and three decimals, filling the field ("  -1.234", "1234.567").
// Tested and summed a word at a time. The value is the quotient of two
// exact doubles, the digits over 1000, which the division rounds correctly,
// just as strtod rounds the decimal.
inline bool read_thousandths_word(uint64_t word, double* value) {
  const uint64_t digits = word ^ (kOnes * '0');
  const uint64_t non_digits =
      (((digits & ~kHighs) + kOnes * 0x76) | digits) & kHighs;
  // Byte 3 and bytes 5-7 are digits, byte 4 is the point.
  if ((non_digits & 0x8080800080000000) != 0 || ((word >> 32) & 0xff) != '.')
    return false;
  // The bytes before the first digit (some of bytes 0-2) are blanks, the
  // last of them perhaps '-'.
  const uint64_t lead = ((non_digits & 0x808080) >> 7) * 0xff;
  if ((lead & (lead + 1)) != 0) return false;
  const uint64_t off_blank = (word ^ (kOnes * ' ')) & lead;
  const uint64_t last_lead = lead & ~(lead >> 8);
  const bool negative = off_blank != 0;
  if (negative && off_blank != (last_lead & (kOnes * ('-' ^ ' '))))
    return false;
  // The digit values with the lead and the point taken out, first digit
  // lowest: "0dddd" "ddd".
  const uint64_t cleared = digits & ~lead;
  uint64_t n = ((cleared & 0xffffffff) << 8) | (cleared & ~0xffffffffffull);
  n = (n * 2561) >> 8;
  n = ((n & 0x00ff00ff00ff00ff) * 6553601) >> 16;
  n = ((n & 0x0000ffff0000ffff) * 42949672960001) >> 32;
  const double magnitude =
      static_cast<double>(static_cast<uint32_t>(n)) / 1000.0;
  *value = negative ? -magnitude : magnitude;
  return true;
}

inline bool read_thousandths_field(const char* field, double* value) {
  return read_thousandths_word(load_field(field), value);
}

#if defined(__SSE2__)
// All ones in each byte of the eight-byte fields in text that is in its
// place in the common shape. The two fields of a register are checked
// side by side, each in a 64-bit lane, first byte lowest.
__m128i bytes_in_place(__m128i text, __m128i digits, __m128i minus) {
  const __m128i digit_bytes =
      _mm_set1_epi64x(static_cast<int64_t>(0xffffff00ffffffff));
  const __m128i point_byte = _mm_set1_epi64x(0x000000ff00000000);
  const __m128i lead_bytes = _mm_set1_epi64x(0x0000000000ffffff);
  // Bytes 0-2 may be blanks, '-' or digits, byte 3 and bytes 5-7 are
  // digits, byte 4 is the point.
  const __m128i allowed = _mm_or_si128(
      _mm_or_si128(
          _mm_and_si128(digits, digit_bytes),
          _mm_and_si128(_mm_cmpeq_epi8(text, _mm_set1_epi8('.')), point_byte)),
      _mm_and_si128(
          _mm_or_si128(_mm_cmpeq_epi8(text, _mm_set1_epi8(' ')), minus),
          lead_bytes));
  // In bytes 0-2, a digit or a '-' is followed by a digit: the blanks come
  // first, then perhaps one '-', then the digits.
  const __m128i misplaced = _mm_and_si128(
      _mm_andnot_si128(_mm_srli_epi64(digits, 8), _mm_or_si128(digits, minus)),
      lead_bytes);
  return _mm_andnot_si128(misplaced, allowed);
}

// The sign bit of each 64-bit lane whose field holds a '-'; a field in
// place holds one at most.
__m128i minus_signs(__m128i minus) {
  const __m128i high_bits = _mm_and_si128(minus, _mm_set1_epi8(-0x80));
  return _mm_slli_epi64(_mm_sad_epu8(high_bits, _mm_setzero_si128()), 56);
}

// The three fields at once, each in the common shape that
// read_thousandths_field reads, with the same tests on the bytes and the
// same exact division; false unless all three have that shape. Two of them
// are in xy, the third in the low half of z.
[[gnu::always_inline]] inline bool read_thousandths_registers(
    __m128i xy, __m128i z, double values[3]) {
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i xy_values = _mm_sub_epi8(xy, zero);
  const __m128i z_values = _mm_sub_epi8(z, zero);
  const __m128i xy_digits =
      _mm_cmpeq_epi8(_mm_min_epu8(xy_values, nine), xy_values);
  const __m128i z_digits =
      _mm_cmpeq_epi8(_mm_min_epu8(z_values, nine), z_values);
  const __m128i xy_minus = _mm_cmpeq_epi8(xy, _mm_set1_epi8('-'));
  const __m128i z_minus = _mm_cmpeq_epi8(z, _mm_set1_epi8('-'));
  if (_mm_movemask_epi8(bytes_in_place(xy, xy_digits, xy_minus)) != 0xffff ||
      (_mm_movemask_epi8(bytes_in_place(z, z_digits, z_minus)) & 0xff) != 0xff)
    return false;
  // Digit pairs, then [whole part, decimals] of each field, then each as
  // a whole number of thousandths.
  const __m128i low_bytes = _mm_set1_epi16(0xff);
  const __m128i ten = _mm_set1_epi16(10);
  __m128i xy_pairs = _mm_and_si128(xy_values, xy_digits);
  xy_pairs =
      _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(xy_pairs, low_bytes), ten),
                    _mm_srli_epi16(xy_pairs, 8));
  __m128i z_pairs = _mm_and_si128(z_values, z_digits);
  z_pairs =
      _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(z_pairs, low_bytes), ten),
                    _mm_srli_epi16(z_pairs, 8));
  const __m128i hundred_one = _mm_set1_epi32(0x00010064);
  const __m128i parts = _mm_packs_epi32(_mm_madd_epi16(xy_pairs, hundred_one),
                                        _mm_madd_epi16(z_pairs, hundred_one));
  const __m128i thousandths = _mm_madd_epi16(parts, _mm_set1_epi32(0x000103e8));
  const __m128d thousand = _mm_set1_pd(1000.0);
  // The values are stored as the caller loads them, two and one, so that
  // its loads are served straight from these stores.
  _mm_storeu_pd(values,
                _mm_xor_pd(_mm_div_pd(_mm_cvtepi32_pd(thousandths), thousand),
                           _mm_castsi128_pd(minus_signs(xy_minus))));
  _mm_store_sd(
      values + 2,
      _mm_xor_pd(
          _mm_div_pd(_mm_cvtepi32_pd(_mm_srli_si128(thousandths, 8)), thousand),
          _mm_castsi128_pd(minus_signs(z_minus))));
  return true;
}

bool read_thousandths_fields(const char* fields, double values[3]) {
  return read_thousandths_registers(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(fields)),
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(fields + 16)), values);
}

// The same for fields held as words, first byte lowest (x86 is
// little-endian, so that is their order in a register).
[[gnu::always_inline]] inline bool read_thousandths_words(
    const uint64_t words[3], double values[3]) {
  return read_thousandths_registers(
      _mm_set_epi64x(static_cast<int64_t>(words[1]),
                     static_cast<int64_t>(words[0])),
      _mm_set_epi64x(0, static_cast<int64_t>(words[2])), values);
}
#else
bool read_thousandths_fields(const char* fields, double values[3]) {
  return read_thousandths_field(fields, &values[0]) &&
         read_thousandths_field(fields + kFieldWidth, &values[1]) &&
         read_thousandths_field(fields + 2 * kFieldWidth, &values[2]);
}

[[gnu::always_inline]] inline bool read_thousandths_words(
    const uint64_t words[3], double values[3]) {
  return read_thousandths_word(words[0], &values[0]) &&
         read_thousandths_word(words[1], &values[1]) &&
         read_thousandths_word(words[2], &values[2]);
}
#endif

// strtod over the field, blank-padded where the content ends inside it.
[[gnu::noinline]] double read_coordinate_with_strtod(const char* content,
                                                     size_t content_length,
                                                     size_t offset) {
  char field[kFieldWidth + 1];
  for (size_t i = 0; i < kFieldWidth; ++i)
    field[i] = offset + i < content_length ? content[offset + i] : ' ';
  field[kFieldWidth] = '\0';
  return strtod(field, nullptr);
}

// Rounds value to a whole number of thousandths as printf rounds it: from
// the double's exact value, exact ties to even. False beyond 1e15, for inf
// and for nan.
bool round_to_thousandths(double value, uint64_t* thousandths) {
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
char* put_fixed_three(uint64_t thousandths, bool negative, char* end) {
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

// The two halves of an eight-byte field: the integer part right-aligned in
// four bytes ("   7", "1234", " -12"), and the point with three decimals.
struct FieldPieces {
  char positive[10000][4];
  char negative[1000][4];
  char fraction[1000][4];
};

// n right-aligned in the four bytes of piece, blank-padded.
constexpr void put_whole_part(int n, bool negative, char (&piece)[4]) {
  int i = 4;
  do {
    piece[--i] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  if (negative) piece[--i] = '-';
  while (i > 0) piece[--i] = ' ';
}

constexpr FieldPieces make_field_pieces() {
  FieldPieces pieces{};
  for (int n = 0; n < 10000; ++n) put_whole_part(n, false, pieces.positive[n]);
  for (int n = 0; n < 1000; ++n) {
    put_whole_part(n, true, pieces.negative[n]);
    pieces.fraction[n][0] = '.';
    pieces.fraction[n][1] = static_cast<char>('0' + n / 100);
    pieces.fraction[n][2] = static_cast<char>('0' + n / 10 % 10);
    pieces.fraction[n][3] = static_cast<char>('0' + n % 10);
  }
  return pieces;
}

constexpr FieldPieces kFieldPieces = make_field_pieces();

// Writes a whole number of thousandths as "%8.3f" writes it into exactly
// the eight bytes of field; false where it needs more: 9999.999 and
// -999.999 are the widest that fit.
inline bool put_thousandths_in_field(uint64_t thousandths, bool negative,
                                     char* field) {
  if (thousandths >= (negative ? 1000000u : 10000000u)) return false;
  const auto whole = static_cast<uint32_t>(thousandths / 1000);
  const auto fraction = static_cast<uint32_t>(thousandths % 1000);
  memcpy(field,
         negative ? kFieldPieces.negative[whole] : kFieldPieces.positive[whole],
         4);
  memcpy(field + 4, kFieldPieces.fraction[fraction], 4);
  return true;
}

// The same into a word, the field's first byte lowest.
inline bool put_thousandths_in_word(uint64_t thousandths, bool negative,
                                    uint64_t* word) {
  if (thousandths >= (negative ? 1000000u : 10000000u)) return false;
  const auto whole = static_cast<uint32_t>(thousandths / 1000);
  const auto fraction = static_cast<uint32_t>(thousandths % 1000);
  uint32_t pieces[2];
  memcpy(&pieces[0],
         negative ? kFieldPieces.negative[whole] : kFieldPieces.positive[whole],
         4);
  memcpy(&pieces[1], kFieldPieces.fraction[fraction], 4);
  if constexpr (std::endian::native == std::endian::big) {
    pieces[0] = __builtin_bswap32(pieces[0]);
    pieces[1] = __builtin_bswap32(pieces[1]);
  }
  *word = pieces[0] | uint64_t{pieces[1]} << 32;
  return true;
}

// value * 1000 rounded to double is off the exact product by half an ulp
// at most; unless that leaves it within an ulp of a half, rounding it to
// the nearest integer rounds the exact product the same way. Adding and
// taking away 1.5 * 2^52 rounds to an integer, ties to even.
constexpr double kRoundingShift = 0x1.8p52;
constexpr double kNearTie = 0.4999999;

// Gives put value k's whole number of thousandths and sign, rounded as
// "%8.3f" rounds it; false where it is beyond what eight bytes can hold
// (or where put says so).
template <typename Put>
inline bool format_with(double value, int k, Put put) {
  const double scaled = value * 1000.0;
  if (!(std::fabs(scaled) < 1e7)) return false;
  const double rounded = (scaled + kRoundingShift) - kRoundingShift;
  const double distance = std::fabs(scaled - rounded);
  uint64_t thousandths = static_cast<uint64_t>(std::fabs(rounded));
  if (distance > kNearTie && !round_to_thousandths(value, &thousandths))
    return false;
  return put(thousandths, std::signbit(value), k);
}

// Writes value as "%8.3f" into exactly the eight bytes of field when it
// fits there; false otherwise.
inline bool format_coordinate_in_field(double value, char* field) {
  return format_with(
      value, 0, [field](uint64_t thousandths, bool negative, int) {
        return put_thousandths_in_field(thousandths, negative, field);
      });
}

template <typename Put>
bool format_each_with(const double values[3], Put put) {
  return format_with(values[0], 0, put) && format_with(values[1], 1, put) &&
         format_with(values[2], 2, put);
}

}  // namespace

double read_coordinate(const char* content, size_t content_length,
                       size_t offset) {
  double value;
  if (offset + kFieldWidth <= content_length &&
      read_thousandths_field(content + offset, &value))
    return value;
  return read_coordinate_with_strtod(content, content_length, offset);
}

// Fields one at a time, for the records that are not of the usual shape.
[[gnu::noinline]] static void read_each_coordinate(const char* content,
                                                   size_t content_length,
                                                   size_t offset,
                                                   double values[3]) {
  for (size_t i = 0; i < 3; ++i)
    values[i] =
        read_coordinate(content, content_length, offset + i * kFieldWidth);
}

void read_coordinate_fields(const char* content, size_t content_length,
                            size_t offset, double values[3]) {
  // The usual record: three whole fields, each in the common shape.
  if (offset + 3 * kFieldWidth > content_length ||
      !read_thousandths_fields(content + offset, values))
    read_each_coordinate(content, content_length, offset, values);
}

size_t format_coordinate(double value, char* out) {
  if (format_coordinate_in_field(value, out)) return kFieldWidth;
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

#if defined(__SSE2__)
// The three values' thousandths at once, two to a register, with the same
// operations as format_with, given to put; anything out of range or near a
// tie goes the way of one value at a time.
template <typename Put>
static inline bool format_at_once_with(const double values[3], Put put) {
  const __m128d xy = _mm_loadu_pd(values);
  const __m128d z = _mm_set1_pd(values[2]);
  const __m128d thousand = _mm_set1_pd(1000.0);
  const __m128d shift = _mm_set1_pd(kRoundingShift);
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(INT64_MAX));
  const __m128d xy_scaled = _mm_mul_pd(xy, thousand);
  const __m128d z_scaled = _mm_mul_pd(z, thousand);
  const __m128d xy_rounded = _mm_sub_pd(_mm_add_pd(xy_scaled, shift), shift);
  const __m128d z_rounded = _mm_sub_pd(_mm_add_pd(z_scaled, shift), shift);
  const __m128d limit = _mm_set1_pd(1e7);
  const __m128d near_tie = _mm_set1_pd(kNearTie);
  const __m128d xy_plain = _mm_and_pd(
      _mm_cmplt_pd(_mm_and_pd(xy_scaled, magnitude), limit),
      _mm_cmple_pd(_mm_and_pd(_mm_sub_pd(xy_scaled, xy_rounded), magnitude),
                   near_tie));
  const __m128d z_plain = _mm_and_pd(
      _mm_cmplt_pd(_mm_and_pd(z_scaled, magnitude), limit),
      _mm_cmple_pd(_mm_and_pd(_mm_sub_pd(z_scaled, z_rounded), magnitude),
                   near_tie));
  if (_mm_movemask_pd(xy_plain) != 3 || (_mm_movemask_pd(z_plain) & 1) == 0)
    return format_each_with(values, put);
  const __m128i xy_thousandths =
      _mm_cvttpd_epi32(_mm_and_pd(xy_rounded, magnitude));
  const __m128i z_thousandths =
      _mm_cvttpd_epi32(_mm_and_pd(z_rounded, magnitude));
  const int xy_signs = _mm_movemask_pd(xy);
  return put(static_cast<uint32_t>(_mm_cvtsi128_si32(xy_thousandths)),
             (xy_signs & 1) != 0, 0) &&
         put(static_cast<uint32_t>(
                 _mm_cvtsi128_si32(_mm_srli_si128(xy_thousandths, 4))),
             (xy_signs & 2) != 0, 1) &&
         put(static_cast<uint32_t>(_mm_cvtsi128_si32(z_thousandths)),
             (_mm_movemask_pd(z) & 1) != 0, 2);
}
#else
template <typename Put>
static inline bool format_at_once_with(const double values[3], Put put) {
  return format_each_with(values, put);
}
#endif

bool format_coordinate_fields(const double values[3], char* fields) {
  return format_at_once_with(
      values, [fields](uint64_t thousandths, bool negative, int k) {
        return put_thousandths_in_field(thousandths, negative,
                                        fields + k * kFieldWidth);
      });
}

bool format_coordinate_words(const double values[3], uint64_t words[3]) {
  return format_at_once_with(
      values, [words](uint64_t thousandths, bool negative, int k) {
        return put_thousandths_in_word(thousandths, negative, &words[k]);
      });
}

// Any decimal number, digit by digit, and strtod where the quotient of two
// exact doubles can't give it.
static bool read_decimal_number_in_full(const char* text, size_t length,
                                        double* value);

// Adds the digits from at on to number; returns where they end.
static const char* take_digits(const char* at, const char* end,
                               uint64_t* number) {
  uint64_t n = *number;
  for (; at < end; ++at) {
    const auto digit = static_cast<unsigned>(*at - '0');
    if (digit > 9) break;
    n = n * 10 + digit;
  }
  *number = n;
  return at;
}

bool read_decimal_number(const char* text, size_t length, double* value) {
  // The usual coordinate, blank-padded into a field of the fixed-column
  // layout, is read as that layout's fields are.
  if (length <= kFieldWidth) {
    char field[kFieldWidth];
    memset(field, ' ', kFieldWidth);
    memcpy(field + kFieldWidth - length, text, length);
    if (read_thousandths_field(field, value)) return true;
  }
  return read_decimal_number_in_full(text, length, value);
}

// The word of the eight bytes that end at end, with the bytes before the
// last length of them (a number of at most eight bytes) made blanks.
static uint64_t number_word(const char* end, size_t length) {
  const uint64_t before =
      length == kFieldWidth ? 0 : ~uint64_t{0} >> (8 * length);
  return (load_field(end - kFieldWidth) & ~before) | (kOnes * ' ' & before);
}

bool read_decimal_number_ending_at(const char* end, size_t length,
                                   double* value) {
  if (length <= kFieldWidth &&
      read_thousandths_word(number_word(end, length), value))
    return true;
  return read_decimal_number_in_full(end - length, length, value);
}

bool read_thousandths_numbers_ending_at(const char* const ends[3],
                                        const size_t lengths[3],
                                        double values[3]) {
  if (lengths[0] > kFieldWidth || lengths[1] > kFieldWidth ||
      lengths[2] > kFieldWidth)
    return false;
  // The three blank-padded into fields as the fixed-column layout has them.
  const uint64_t words[3] = {number_word(ends[0], lengths[0]),
                             number_word(ends[1], lengths[1]),
                             number_word(ends[2], lengths[2])};
  return read_thousandths_words(words, values);
}

// The number of length bytes (1 to 8) at the start of word, moved to the
// end of the field, the bytes before it made blanks.
inline uint64_t field_of_number(uint64_t word, size_t length) {
  const size_t shift = 8 * (kFieldWidth - length);
  return (word << shift) | (kOnes * ' ' & ((uint64_t{1} << shift) - 1));
}

// read_thousandths_numbers_starting_at and read_thousandths_numbers_of_lengths,
// inlined in each of the ways they are built.
[[gnu::always_inline]] inline bool read_thousandths_starting_at(
    const char* const starts[3], size_t lengths[3], double values[3]) {
  uint64_t words[3];
  for (int k = 0; k < 3; ++k) {
    const uint64_t word = load_field(starts[k]);
    // The lowest byte below '!' is flagged exactly: no byte before it
    // borrows.
    const uint64_t low = (word - kOnes * '!') & ~word & kHighs;
    const auto length = static_cast<size_t>(std::countr_zero(low)) / 8;
    if (length == 0 ||
        (length == kFieldWidth &&
         static_cast<unsigned char>(starts[k][kFieldWidth]) > ' '))
      return false;
    lengths[k] = length;
    words[k] = field_of_number(word, length);
  }
  return read_thousandths_words(words, values);
}

[[gnu::always_inline]] inline bool read_thousandths_of_lengths(
    const char* const starts[3], const size_t lengths[3], double values[3]) {
  const uint64_t words[3] = {
      field_of_number(load_field(starts[0]), lengths[0]),
      field_of_number(load_field(starts[1]), lengths[1]),
      field_of_number(load_field(starts[2]), lengths[2])};
  return read_thousandths_words(words, values);
}

bool read_thousandths_numbers_starting_at(const char* const starts[3],
                                          size_t lengths[3], double values[3]) {
  return read_thousandths_starting_at(starts, lengths, values);
}

bool read_thousandths_numbers_of_lengths(const char* const starts[3],
                                         const size_t lengths[3],
                                         double values[3]) {
  return read_thousandths_of_lengths(starts, lengths, values);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx512bw,bmi,bmi2")]] bool
read_thousandths_numbers_starting_at_avx512(const char* const starts[3],
                                            size_t lengths[3],
                                            double values[3]) {
  return read_thousandths_starting_at(starts, lengths, values);
}

[[gnu::target("avx512bw,bmi,bmi2")]] bool
read_thousandths_numbers_of_lengths_avx512(const char* const starts[3],
                                           const size_t lengths[3],
                                           double values[3]) {
  return read_thousandths_of_lengths(starts, lengths, values);
}
#endif

bool read_decimal_numbers_ending_at(const char* const ends[3],
                                    const size_t lengths[3], double values[3]) {
  if (read_thousandths_numbers_ending_at(ends, lengths, values)) return true;
  for (int k = 0; k < 3; ++k)
    if (!read_decimal_number_ending_at(ends[k], lengths[k], &values[k]))
      return false;
  return true;
}

static bool read_decimal_number_in_full(const char* text, size_t length,
                                        double* value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3, 1e4,  1e5,
                                            1e6,  1e7,  1e8,  1e9, 1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15};
  const char* const end = text + length;
  const char* at = text;
  const bool negative = at < end && *at == '-';
  if (at < end && (*at == '-' || *at == '+')) ++at;
  uint64_t digits = 0;
  const char* const whole_start = at;
  at = take_digits(at, end, &digits);
  size_t digit_count = static_cast<size_t>(at - whole_start);
  size_t fraction_digits = 0;
  if (at < end && *at == '.') {
    const char* const fraction_start = ++at;
    at = take_digits(at, end, &digits);
    fraction_digits = static_cast<size_t>(at - fraction_start);
    digit_count += fraction_digits;
  }
  if (digit_count == 0) return false;
  // Up to 15 digits are a whole number below 2^53 and the divisor a power
  // of ten below 2^53: both exact, so the one rounding of the division
  // rounds the decimal itself, as strtod does.
  if (at == end && digit_count <= 15) {
    const double magnitude =
        static_cast<double>(digits) / kPowersOfTen[fraction_digits];
    *value = negative ? -magnitude : magnitude;
    return true;
  }
  if (at < end && (*at == 'e' || *at == 'E')) {
    ++at;
    if (at < end && (*at == '-' || *at == '+')) ++at;
    uint64_t exponent = 0;
    const char* const exponent_start = at;
    at = take_digits(at, end, &exponent);
    if (at == exponent_start) return false;
  }
  if (at != end) return false;
  char small[64];
  if (length < sizeof small) {
    memcpy(small, text, length);
    small[length] = '\0';
    *value = strtod(small, nullptr);
  } else {
    const std::string copy(text, length);
    *value = strtod(copy.c_str(), nullptr);
  }
  return true;
}

size_t format_coordinate_value(double value, char* out) {
  const size_t length = format_coordinate(value, out);
  size_t blanks = 0;
  while (blanks < length && out[blanks] == ' ') ++blanks;
  memmove(out, out + blanks, length - blanks);
  return length - blanks;
}
