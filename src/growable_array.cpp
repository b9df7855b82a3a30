#include "growable_array.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr size_t kPage = 4096;

size_t round_up(size_t bytes, size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// Small arrays double from one page, so that a small file needs few system
// calls and no huge page; from 2 MiB on they grow by an eighth, in whole
// huge pages, so that what is claimed stays close to what is held.
size_t next_capacity(size_t capacity, size_t needed) {
  size_t next = capacity < kPage ? kPage : capacity;
  while (next < needed && next < kHugePage) next *= 2;
  if (next >= needed) return next;
  next = capacity + capacity / 8;
  return round_up(next < needed ? needed : next, kHugePage);
}

}  // namespace

// Mappings are whole pages; the capacity an array keeps in records may fall
// short of its last page by less than a record.
bool grow_mapping(void** data, size_t* capacity_bytes, size_t needed_bytes) {
  if (needed_bytes > SIZE_MAX / 2) return false;
  const size_t mapped = round_up(*capacity_bytes, kPage);
  const size_t capacity = next_capacity(mapped, needed_bytes);
  void* grown = *data == nullptr
                    ? mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                    : mremap(*data, mapped, capacity, MREMAP_MAYMOVE);
  if (grown == MAP_FAILED) return false;
  // Only a hint: without transparent huge pages the array still works.
  if (capacity >= kHugePage) madvise(grown, capacity, MADV_HUGEPAGE);
  *data = grown;
  *capacity_bytes = capacity;
  return true;
}

void release_mapping(void* data, size_t capacity_bytes) {
  if (data != nullptr) munmap(data, round_up(capacity_bytes, kPage));
}
