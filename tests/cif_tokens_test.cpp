#include "cif_tokens.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The masks of 64 bytes, worked out from the bytes themselves.
CifByteMasks masks_of_bytes(const char* block) {
  CifByteMasks masks{};
  for (unsigned i = 0; i < 64; ++i) {
    const uint64_t bit = uint64_t{1} << i;
    switch (block[i]) {
      case '\n':
        masks.newline |= bit;
        masks.white |= bit;
        break;
      case ' ':
      case '\t':
      case '\r':
        masks.white |= bit;
        break;
      case '\'':
      case '"':
      case '#':
      case ';':
        masks.opener |= bit;
        break;
      case '_':
        masks.underscore |= bit;
        break;
      default:
        break;
    }
  }
  return masks;
}

void expect_masks(const CifByteMasks& actual, const CifByteMasks& expected,
                  const char* way, int round) {
  EXPECT_EQ(actual.white, expected.white) << way << ", round " << round;
  EXPECT_EQ(actual.newline, expected.newline) << way << ", round " << round;
  EXPECT_EQ(actual.opener, expected.opener) << way << ", round " << round;
  EXPECT_EQ(actual.underscore, expected.underscore)
      << way << ", round " << round;
}

void expect_row_masks(const CifRowMasks& actual, const char* row, size_t blocks,
                      const char* way, int round) {
  for (size_t b = 0; b < blocks; ++b) {
    const CifByteMasks expected = masks_of_bytes(row + 64 * b);
    EXPECT_EQ(actual.white[b], expected.white)
        << way << ", round " << round << ", block " << b;
    uint64_t control = 0;
    for (unsigned i = 0; i < 64; ++i)
      if (static_cast<unsigned char>(row[64 * b + i]) < ' ')
        control |= uint64_t{1} << i;
    EXPECT_EQ(actual.stop[b], expected.opener | expected.underscore | control)
        << way << ", round " << round << ", block " << b;
  }
}

// Every way of finding the classes of a row's bytes, a block at a time and
// a row of one to four blocks at a time, on bytes dense in those of each
// class, in those that share their low half (which the table look-up tells
// apart), and in bytes of 0x80 and more.
TEST(CifByteMasks, EveryWayMarksExactlyTheBytesOfEachClass) {
  std::mt19937_64 random(2024);
  const char near[] = {' ',    '\t',   '\n',   '\r',   '\'', '"',   '#',
                       ';',    '_',    '\x00', '\x10', '0',  '9',   'O',
                       '\x89', '\xa0', '\x8a', '\xdf', '{',  '\x7f'};
  char row[64 * kMostRowBlocks];
  for (int round = 0; round < 5000; ++round) {
    const uint64_t density = random() % 8;
    for (char& byte : row)
      byte = random() % 8 < density ? near[random() % std::size(near)]
                                    : static_cast<char>(random());
    for (size_t b = 0; b < kMostRowBlocks; ++b) {
      const char* block = row + 64 * b;
      const CifByteMasks expected = masks_of_bytes(block);
      expect_masks(cif_byte_masks(block), expected, "chosen", round);
      expect_masks(cif_byte_masks_portable(block), expected, "portable", round);
#if defined(__SSE2__)
      expect_masks(cif_byte_masks_sse2(block), expected, "SSE2", round);
#endif
#if defined(__x86_64__) || defined(__i386__)
      if (__builtin_cpu_supports("avx2"))
        expect_masks(cif_byte_masks_avx2(block), expected, "AVX2", round);
#endif
    }
    const size_t blocks = 1 + static_cast<size_t>(round) % kMostRowBlocks;
    CifRowMasks masks{};
    cif_row_masks(row, blocks, &masks);
    expect_row_masks(masks, row, blocks, "chosen", round);
    cif_row_masks_portable(row, blocks, &masks);
    expect_row_masks(masks, row, blocks, "portable", round);
#if defined(__SSE2__)
    cif_row_masks_sse2(row, blocks, &masks);
    expect_row_masks(masks, row, blocks, "SSE2", round);
#endif
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) {
      cif_row_masks_avx2(row, blocks, &masks);
      expect_row_masks(masks, row, blocks, "AVX2", round);
    }
    if (__builtin_cpu_supports("avx512bw")) {
      cif_row_masks_avx512(row, blocks, &masks);
      expect_row_masks(masks, row, blocks, "AVX-512", round);
    }
#endif
    if (HasFailure()) break;
  }
}

}  // namespace
