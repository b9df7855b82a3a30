#pragma once

#include <cstddef>
#include <cstdint>

// Lines are found 64 bytes at a time: bit i of the mask is set where byte i
// of the block is '\n'. The block must be 64 bytes that may all be read.
constexpr size_t kNewlineBlock = 64;

// With vector instructions where the machine has them.
uint64_t newline_mask(const char* block);

// The same mask, a word at a time, on any machine.
uint64_t newline_mask_portable(const char* block);
