#include "record_lines.h"

bool append_line(RecordLines& lines, std::string_view line) {
  if (!reserve(lines.steps, lines.steps.size + 1)) return false;
  if (has_room_for_step(lines, line.data(), line.size())) {
    append_step(lines, line.data(), line.size());
    return true;
  }
  if (!append(lines.whole, {lines.steps.size, line})) return false;
  lines.steps.data[lines.steps.size++] = {0, 0};
  lines.end = line.data() + line.size();
  return true;
}

void release_lines(RecordLines& lines) {
  release_array(lines.steps);
  release_array(lines.whole);
  lines.end = nullptr;
}
