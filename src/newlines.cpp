#include "newlines.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint64_t newline_mask_portable(const char* block) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighs = 0x8080808080808080;
  uint64_t mask = 0;
  for (size_t word = 0; word < kNewlineBlock / 8; ++word) {
    // Byte i of the word is byte i of the eight, whatever the byte order.
    uint64_t bytes = 0;
    for (size_t i = 0; i < 8; ++i)
      bytes |= uint64_t{static_cast<unsigned char>(block[8 * word + i])}
               << (8 * i);
    const uint64_t x = bytes ^ (kOnes * '\n');
    // Bit 0 of each byte set where that byte is '\n'; no carry crosses
    // from one byte to the next.
    const uint64_t newline = (~(((x & ~kHighs) + ~kHighs) | x) & kHighs) >> 7;
    // The eight bits gathered, byte i to bit i.
    mask |= ((newline * 0x0102040810204080) >> 56) << (8 * word);
  }
  return mask;
}

#if defined(__SSE2__)
uint64_t newline_mask(const char* block) {
  const __m128i newline = _mm_set1_epi8('\n');
  uint64_t mask = 0;
  for (size_t i = 0; i < kNewlineBlock / 16; ++i) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
    mask |= static_cast<uint64_t>(static_cast<uint32_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline))))
            << (16 * i);
  }
  return mask;
}
#else
uint64_t newline_mask(const char* block) {
  return newline_mask_portable(block);
}
#endif
