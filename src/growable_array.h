#pragma once

#include <cstddef>
#include <span>

// A growable array of plain records that lives in an anonymous mapping of
// its own. Growing moves the mapping's pages instead of copying them, so an
// old and a new copy never take room at the same time, and the room claimed
// stays within an eighth (or 2 MiB) of what is held: a file of few records
// claims little, however large it is. Large arrays are backed by huge pages,
// so that filling them faults once per 2 MiB rather than once per page.
// The memory is never given back, except by release_array.
// The size of a huge page, the unit large arrays grow by.
constexpr size_t kHugePage = size_t{2} << 20;

template <typename T>
struct GrowableArray {
  T* data = nullptr;
  size_t size = 0;
  size_t capacity = 0;
};

// Makes room for at least needed_bytes in the mapping at *data (nullptr for
// none yet) of *capacity_bytes. False, with the mapping unchanged, when the
// room can't be had.
bool grow_mapping(void** data, size_t* capacity_bytes, size_t needed_bytes);
void release_mapping(void* data, size_t capacity_bytes);

// Makes room for at least count records; false when it can't be had.
template <typename T>
inline bool reserve(GrowableArray<T>& array, size_t count) {
  if (count <= array.capacity) return true;
  void* data = array.data;
  size_t bytes = array.capacity * sizeof(T);
  if (!grow_mapping(&data, &bytes, count * sizeof(T))) return false;
  array.data = static_cast<T*>(data);
  array.capacity = bytes / sizeof(T);
  return true;
}

// Appends value; false when there is no room for it.
template <typename T>
inline bool append(GrowableArray<T>& array, const T& value) {
  if (array.size == array.capacity && !reserve(array, array.size + 1))
      [[unlikely]]
    return false;
  array.data[array.size++] = value;
  return true;
}

template <typename T>
inline std::span<T> items(const GrowableArray<T>& array) {
  return {array.data, array.size};
}

template <typename T>
inline void release_array(GrowableArray<T>& array) {
  release_mapping(array.data, array.capacity * sizeof(T));
  array = {};
}
