#include "newlines.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Both ways of finding a block's newlines against the bytes themselves, on
// blocks dense and sparse in '\n' and in the bytes one bit away from it.
TEST(NewlineMask, MarksExactlyTheNewlines) {
  std::mt19937_64 random(64);
  const char near[] = {'\n', '\x0b', '\x08', '\x8a', '\x00', '\x0e', 'J', '*'};
  char block[kNewlineBlock];
  for (int round = 0; round < 20000; ++round) {
    const uint64_t density = random() % 8;
    uint64_t expected = 0;
    for (size_t i = 0; i < kNewlineBlock; ++i) {
      block[i] = random() % 8 < density ? near[random() % std::size(near)]
                                        : static_cast<char>(random());
      if (block[i] == '\n') expected |= uint64_t{1} << i;
    }
    ASSERT_EQ(newline_mask(block), expected) << "round " << round;
    ASSERT_EQ(newline_mask_portable(block), expected) << "round " << round;
  }
}

}  // namespace
