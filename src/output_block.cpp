#include "output_block.h"

#include <fcntl.h>

#include "growable_array.h"

constexpr size_t kBlockSize = size_t{1} << 20;
// What a record usually takes at most, to size the block for few records.
constexpr size_t kUsualRecordSize = 128;

// Many records get a whole huge page, so that filling the block faults once
// rather than once per 4 KiB page; few get what they need. Where no room can
// be had, a small block of its own does, at more writes.
OutputBlock start_output_block(size_t records, FILE* out) {
  static GrowableArray<char> room;
  // A pipe is given room for a whole block, so that each write is one
  // wake-up of the reader rather than sixteen.
  fcntl(fileno(out), F_SETPIPE_SZ, kBlockSize);
  const size_t wanted = records > kBlockSize / kUsualRecordSize
                            ? kHugePage
                            : records * kUsualRecordSize;
  if (!reserve(room, wanted)) {
    static char small_block[4096];
    return {small_block, sizeof small_block, 0, out};
  }
  return {room.data, room.capacity < kBlockSize ? room.capacity : kBlockSize, 0,
          out};
}
