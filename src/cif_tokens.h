#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// The tokens of a CIF 1.1 text, each with its place in the text. White space
// is space, tab, carriage return and newline; '#' at a token's start runs to
// the end of its line as a comment.
enum class CifTokenKind {
  kValue,      // an unquoted value, "?" and "." among them
  kQuoted,     // 'value' or "value": its quotes are part of the token
  kTextField,  // from ';' at a line's start to the ';' that starts a later
               // line, both included
  kTag,        // _category.item
  kData,       // data_NAME
  kLoop,       // loop_
  kOtherWord,  // global_, save_ and stop_, which end a loop as a tag does
  kEnd,        // the end of the text
  kUnterminatedQuote,      // a quote that its line doesn't close
  kUnterminatedTextField,  // a text field that the text doesn't close
};

struct CifToken {
  CifTokenKind kind;
  std::string_view text;
};

// Where the next token is looked for.
struct CifCursor {
  const char* at;
  const char* begin;  // the text's first byte, which starts a line
  const char* end;
};

inline bool is_cif_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The next token; kEnd at the end of the text, and again after it.
CifToken next_cif_token(CifCursor& cursor);

// True when a tag or word equals name, letters compared without case.
bool equals_ignoring_case(std::string_view text, std::string_view name);

// True when text begins with prefix, letters compared without case.
bool starts_ignoring_case(std::string_view text, std::string_view prefix);

// The value a token stands for: its text without quotes, or a text field's
// text between its semicolons.
std::string_view cif_value(const CifToken& token);

// The 1-based number of the line that the byte at offset of text is on.
size_t line_number(const char* text, size_t offset);

// What a row's 64 bytes hold, one bit a byte (bit i for byte i): white
// space, newlines, the bytes that open a quote, a comment or a text field
// at a token's start, and '_', which every tag and reserved word holds.
struct CifByteMasks {
  uint64_t white;
  uint64_t newline;
  uint64_t opener;
  uint64_t underscore;
};

// The masks of the 64 bytes at block, all of which may be read; with
// vector instructions where the machine has them.
CifByteMasks cif_byte_masks(const char* block);

// The same masks, a byte at a time, on any machine.
CifByteMasks cif_byte_masks_portable(const char* block);

// The ways cif_byte_masks chooses from on x86, for tests to compare: 16
// bytes at a time, and 32 with a table look-up (where the processor has
// AVX2).
#if defined(__SSE2__)
CifByteMasks cif_byte_masks_sse2(const char* block);
#endif
#if defined(__x86_64__) || defined(__i386__)
CifByteMasks cif_byte_masks_avx2(const char* block);
#endif

// For a row read against the shape of the one before: the white space of
// each 64-byte block of the row, and its bytes that a row so read holds
// only where that row did (those that open a quote, a comment or a text
// field, '_', and those below ' ': tabs, carriage returns, newlines and
// other control bytes), one bit a byte.
constexpr size_t kMostRowBlocks = 4;
struct CifRowMasks {
  uint64_t white[kMostRowBlocks];
  uint64_t stop[kMostRowBlocks];
};

// The masks of the blocks 64-byte blocks at row (1 to kMostRowBlocks), all
// of which may be read; with vector instructions where the machine has
// them, and the same masks a byte at a time on any machine, and on x86 16,
// 32 and 64 bytes at a time.
void cif_row_masks(const char* row, size_t blocks, CifRowMasks* masks);
void cif_row_masks_portable(const char* row, size_t blocks, CifRowMasks* masks);
#if defined(__SSE2__)
void cif_row_masks_sse2(const char* row, size_t blocks, CifRowMasks* masks);
#endif
#if defined(__x86_64__) || defined(__i386__)
void cif_row_masks_avx2(const char* row, size_t blocks, CifRowMasks* masks);
#endif

// The bytes of each class have low halves of their own, so one table
// look-up by the low half and one comparison test for a whole class.
// An index of no class looks up -0x80, which no byte below 0x80 equals; a
// byte of 0x80 or more looks up 0, which it doesn't equal either.
constexpr char kNoCifClass = -0x80;
constexpr char kCifWhiteTable[16] = {
    ' ',         kNoCifClass, kNoCifClass, kNoCifClass,
    kNoCifClass, kNoCifClass, kNoCifClass, kNoCifClass,
    kNoCifClass, '\t',        '\n',        kNoCifClass,
    kNoCifClass, '\r',        kNoCifClass, kNoCifClass};
// The openers and '_'; with them, a row stops at bytes below ' '.
constexpr char kCifStopTable[16] = {kNoCifClass, kNoCifClass, '"',         '#',
                                    kNoCifClass, kNoCifClass, kNoCifClass, '\'',
                                    kNoCifClass, kNoCifClass, kNoCifClass, ';',
                                    kNoCifClass, kNoCifClass, kNoCifClass, '_'};
constexpr char kLastControl = 0x1f;

#if defined(__x86_64__) || defined(__i386__)
// The same 64 bytes at a time, where the processor has AVX-512BW: the
// comparisons give the masks themselves. Defined here so that a loop built
// for such processors takes it in whole.
[[gnu::target("avx512bw")]] inline void cif_row_masks_avx512(
    const char* row, size_t blocks, CifRowMasks* masks) {
  const __m512i white_table = _mm512_broadcast_i32x4(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kCifWhiteTable)));
  const __m512i stop_table = _mm512_broadcast_i32x4(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kCifStopTable)));
  for (size_t b = 0; b < blocks; ++b) {
    const __m512i bytes = _mm512_loadu_si512(row + 64 * b);
    masks->white[b] =
        _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(white_table, bytes), bytes);
    masks->stop[b] =
        _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(stop_table, bytes), bytes) |
        _mm512_cmple_epu8_mask(bytes, _mm512_set1_epi8(kLastControl));
  }
}
#endif
