#pragma once

#include <string_view>
#include <vector>

#include "record_lines.h"

// The lines held, read back in order.
inline std::vector<std::string_view> line_views(const RecordLines& lines) {
  std::vector<std::string_view> views;
  LineCursor cursor = first_line(lines);
  for (size_t i = 0; i < line_count(lines); ++i)
    views.push_back(next_line(cursor));
  return views;
}
