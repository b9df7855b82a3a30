#include "cif_tokens.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* skip_to_white_space(const char* at, const char* end) {
  while (at < end && !is_cif_white_space(*at)) ++at;
  return at;
}

// A quoted value ends at its own quote followed by white space or the end
// of the text, so "O5'" in double quotes is one value; its line must close
// it.
CifToken quoted(CifCursor& cursor) {
  const char* start = cursor.at;
  const char quote = *start;
  for (const char* at = start + 1; at < cursor.end && *at != '\n'; ++at) {
    if (*at == quote && (at + 1 == cursor.end || is_cif_white_space(at[1]))) {
      cursor.at = at + 1;
      return {CifTokenKind::kQuoted,
              {start, static_cast<size_t>(cursor.at - start)}};
    }
  }
  cursor.at = cursor.end;
  return {CifTokenKind::kUnterminatedQuote, {start, 1}};
}

// A text field closes at the first later line that starts with ';'.
CifToken text_field(CifCursor& cursor) {
  const char* start = cursor.at;
  for (const char* at = start + 1; at < cursor.end;) {
    const auto* newline = static_cast<const char*>(
        memchr(at, '\n', static_cast<size_t>(cursor.end - at)));
    if (newline == nullptr) break;
    if (newline + 1 < cursor.end && newline[1] == ';') {
      cursor.at = newline + 2;
      return {CifTokenKind::kTextField,
              {start, static_cast<size_t>(cursor.at - start)}};
    }
    at = newline + 1;
  }
  cursor.at = cursor.end;
  return {CifTokenKind::kUnterminatedTextField, {start, 1}};
}

CifTokenKind word_kind(std::string_view word) {
  if (starts_ignoring_case(word, "data_")) return CifTokenKind::kData;
  if (equals_ignoring_case(word, "loop_")) return CifTokenKind::kLoop;
  if (starts_ignoring_case(word, "save_") ||
      equals_ignoring_case(word, "global_") ||
      equals_ignoring_case(word, "stop_"))
    return CifTokenKind::kOtherWord;
  return CifTokenKind::kValue;
}

}  // namespace

bool equals_ignoring_case(std::string_view text, std::string_view name) {
  return text.size() == name.size() && starts_ignoring_case(text, name);
}

bool starts_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(text[i]) != lower(prefix[i])) return false;
  return true;
}

CifToken next_cif_token(CifCursor& cursor) {
  for (;;) {
    while (cursor.at < cursor.end && is_cif_white_space(*cursor.at))
      ++cursor.at;
    if (cursor.at == cursor.end)
      return {CifTokenKind::kEnd, std::string_view(cursor.end, size_t{0})};
    const char first = *cursor.at;
    if (first == '#') {
      const auto* newline = static_cast<const char*>(
          memchr(cursor.at, '\n', static_cast<size_t>(cursor.end - cursor.at)));
      cursor.at = newline == nullptr ? cursor.end : newline + 1;
      continue;
    }
    if (first == '\'' || first == '"') return quoted(cursor);
    if (first == ';' && (cursor.at == cursor.begin || cursor.at[-1] == '\n'))
      return text_field(cursor);
    const char* start = cursor.at;
    cursor.at = skip_to_white_space(start + 1, cursor.end);
    const std::string_view word(start, static_cast<size_t>(cursor.at - start));
    if (first == '_') return {CifTokenKind::kTag, word};
    // Only the reserved words end in '_' or start with a letter of them.
    const char letter = lower(first);
    if (letter == 'd' || letter == 'l' || letter == 'g' || letter == 's')
      return {word_kind(word), word};
    return {CifTokenKind::kValue, word};
  }
}

std::string_view cif_value(const CifToken& token) {
  // Both kinds have one byte of their own at each end.
  if (token.kind == CifTokenKind::kQuoted ||
      token.kind == CifTokenKind::kTextField)
    return token.text.substr(1, token.text.size() - 2);
  return token.text;
}

size_t line_number(const char* text, size_t offset) {
  size_t line = 1;
  for (const char* at = text; at < text + offset;) {
    const auto* newline = static_cast<const char*>(
        memchr(at, '\n', static_cast<size_t>(text + offset - at)));
    if (newline == nullptr) break;
    ++line;
    at = newline + 1;
  }
  return line;
}

CifByteMasks cif_byte_masks_portable(const char* block) {
  CifByteMasks masks{};
  for (unsigned i = 0; i < 64; ++i) {
    const char c = block[i];
    const uint64_t bit = uint64_t{1} << i;
    if (is_cif_white_space(c)) masks.white |= bit;
    if (c == '\n') masks.newline |= bit;
    if (c == '\'' || c == '"' || c == '#' || c == ';') masks.opener |= bit;
    if (c == '_') masks.underscore |= bit;
  }
  return masks;
}

#if defined(__SSE2__)
CifByteMasks cif_byte_masks_sse2(const char* block) {
  const auto mask_of = [](__m128i matches, size_t i) {
    return static_cast<uint64_t>(
               static_cast<uint32_t>(_mm_movemask_epi8(matches)))
           << (16 * i);
  };
  CifByteMasks masks{};
  for (size_t i = 0; i < 4; ++i) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
    const auto is = [&](char c) {
      return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
    };
    const __m128i newline = is('\n');
    masks.newline |= mask_of(newline, i);
    masks.white |= mask_of(_mm_or_si128(_mm_or_si128(is(' '), is('\t')),
                                        _mm_or_si128(is('\r'), newline)),
                           i);
    masks.opener |= mask_of(_mm_or_si128(_mm_or_si128(is('\''), is('"')),
                                         _mm_or_si128(is('#'), is(';'))),
                            i);
    masks.underscore |= mask_of(is('_'), i);
  }
  return masks;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// Bit j of the result for byte j of the 32 that matched, moved to the
// bits of the block's part i.
[[gnu::target("avx2")]] static uint64_t mask_of(__m256i matches, size_t i) {
  return static_cast<uint64_t>(
             static_cast<uint32_t>(_mm256_movemask_epi8(matches)))
         << (32 * i);
}

// The openers, looked up as the classes of the header are.
constexpr char kOpenerTable[16] = {
    kNoCifClass, kNoCifClass, '"',         '#',
    kNoCifClass, kNoCifClass, kNoCifClass, '\'',
    kNoCifClass, kNoCifClass, kNoCifClass, ';',
    kNoCifClass, kNoCifClass, kNoCifClass, kNoCifClass};

// The table in both halves of a register, as the look-up reads it.
[[gnu::target("avx2")]] static __m256i class_table(const char (&table)[16]) {
  const __m128i half = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
  return _mm256_broadcastsi128_si256(half);
}

// The bits of the 32 bytes that the table's class holds. Each byte is its
// own index: pshufb looks up by the low half of it, and gives 0 where its
// top bit is set.
[[gnu::target("avx2")]] static uint32_t class_mask(__m256i table,
                                                   __m256i bytes) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, bytes), bytes)));
}

// The bits of the 32 bytes that stop a row.
[[gnu::target("avx2")]] static uint32_t stop_mask(__m256i table,
                                                  __m256i bytes) {
  const __m256i in_table =
      _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, bytes), bytes);
  const __m256i control = _mm256_cmpeq_epi8(
      _mm256_min_epu8(bytes, _mm256_set1_epi8(kLastControl)), bytes);
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_or_si256(in_table, control)));
}

[[gnu::target("avx2")]] CifByteMasks cif_byte_masks_avx2(const char* block) {
  const __m256i white_table = class_table(kCifWhiteTable);
  const __m256i opener_table = class_table(kOpenerTable);
  CifByteMasks masks{};
  for (size_t i = 0; i < 2; ++i) {
    const __m256i bytes =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32 * i));
    masks.white |= uint64_t{class_mask(white_table, bytes)} << (32 * i);
    masks.opener |= uint64_t{class_mask(opener_table, bytes)} << (32 * i);
    masks.newline |=
        mask_of(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n')), i);
    masks.underscore |=
        mask_of(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('_')), i);
  }
  return masks;
}

[[gnu::target("avx2")]] void cif_row_masks_avx2(const char* row, size_t blocks,
                                                CifRowMasks* masks) {
  const __m256i white_table = class_table(kCifWhiteTable);
  const __m256i stop_table = class_table(kCifStopTable);
  for (size_t b = 0; b < blocks; ++b) {
    const char* block = row + 64 * b;
    const __m256i low =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    const __m256i high =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
    masks->white[b] = class_mask(white_table, low) |
                      uint64_t{class_mask(white_table, high)} << 32;
    masks->stop[b] = stop_mask(stop_table, low) |
                     uint64_t{stop_mask(stop_table, high)} << 32;
  }
}
#endif

static bool is_row_stop(char c) {
  return c == '\'' || c == '"' || c == '#' || c == ';' || c == '_' ||
         static_cast<unsigned char>(c) < ' ';
}

void cif_row_masks_portable(const char* row, size_t blocks,
                            CifRowMasks* masks) {
  for (size_t b = 0; b < blocks; ++b) {
    masks->white[b] = 0;
    masks->stop[b] = 0;
    for (unsigned i = 0; i < 64; ++i) {
      const char c = row[64 * b + i];
      const uint64_t bit = uint64_t{1} << i;
      if (is_cif_white_space(c)) masks->white[b] |= bit;
      if (is_row_stop(c)) masks->stop[b] |= bit;
    }
  }
}

#if defined(__SSE2__)
void cif_row_masks_sse2(const char* row, size_t blocks, CifRowMasks* masks) {
  for (size_t b = 0; b < blocks; ++b) {
    uint64_t white = 0;
    uint64_t stop = 0;
    for (size_t i = 0; i < 4; ++i) {
      const __m128i bytes = _mm_loadu_si128(
          reinterpret_cast<const __m128i*>(row + 64 * b + 16 * i));
      const auto is = [&](char c) {
        return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
      };
      const auto bits = [i](__m128i matches) {
        return static_cast<uint64_t>(
                   static_cast<uint32_t>(_mm_movemask_epi8(matches)))
               << (16 * i);
      };
      const __m128i control = _mm_cmpeq_epi8(
          _mm_min_epu8(bytes, _mm_set1_epi8(kLastControl)), bytes);
      white |= bits(_mm_or_si128(_mm_or_si128(is(' '), is('\t')),
                                 _mm_or_si128(is('\r'), is('\n'))));
      stop |= bits(_mm_or_si128(_mm_or_si128(control, is('_')),
                                _mm_or_si128(_mm_or_si128(is('\''), is('"')),
                                             _mm_or_si128(is('#'), is(';')))));
    }
    masks->white[b] = white;
    masks->stop[b] = stop;
  }
}
#endif

void cif_row_masks(const char* row, size_t blocks, CifRowMasks* masks) {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx512bw"))
    return cif_row_masks_avx512(row, blocks, masks);
  if (__builtin_cpu_supports("avx2"))
    return cif_row_masks_avx2(row, blocks, masks);
#endif
#if defined(__SSE2__)
  cif_row_masks_sse2(row, blocks, masks);
#else
  cif_row_masks_portable(row, blocks, masks);
#endif
}

CifByteMasks cif_byte_masks(const char* block) {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2")) return cif_byte_masks_avx2(block);
#endif
#if defined(__SSE2__)
  return cif_byte_masks_sse2(block);
#else
  return cif_byte_masks_portable(block);
#endif
}
