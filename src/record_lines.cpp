#include "record_lines.h"

#include <limits>

bool append_line(RecordLines& lines, std::string_view line) {
  constexpr size_t kMost = std::numeric_limits<uint16_t>::max();
  LineStep step{0, 0};
  const bool steps_from_end =
      lines.end != nullptr &&
      static_cast<size_t>(line.data() - lines.end) <= kMost &&
      line.size() <= kMost;
  if (steps_from_end)
    step = {static_cast<uint16_t>(line.data() - lines.end),
            static_cast<uint16_t>(line.size())};
  else if (!append(lines.whole, {lines.steps.size, line}))
    return false;
  if (!append(lines.steps, step)) {
    if (!steps_from_end) --lines.whole.size;
    return false;
  }
  lines.end = line.data() + line.size();
  return true;
}

void release_lines(RecordLines& lines) {
  release_array(lines.steps);
  release_array(lines.whole);
  lines.end = nullptr;
}
