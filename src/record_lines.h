#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "growable_array.h"

// The lines of the atom records, in order, as views into texts that outlive
// them. Records mostly follow one another closely in a text, so a line is
// held in four bytes: how far it starts after the end of the line before,
// and its length. A line that can't be told that way (the first of a text,
// one that starts 64 KiB or more after the line before, or one of 64 KiB or
// more) is held whole in a list of its own as well. A record then costs the
// memory of its coordinates and four bytes.
struct LineStep {
  uint16_t gap;
  uint16_t length;
};

struct WholeLine {
  size_t index;
  std::string_view line;
};

struct RecordLines {
  GrowableArray<LineStep> steps;   // one per line, in order
  GrowableArray<WholeLine> whole;  // in order of index
  // The end of the last line, or nullptr when the next line starts a text.
  const char* end = nullptr;
};

inline size_t line_count(const RecordLines& lines) { return lines.steps.size; }

// The next line appended starts a text of its own.
inline void start_text(RecordLines& lines) { lines.end = nullptr; }

// Appends line, which lies after the line before in the same text (unless
// a text was started since); false, with nothing appended, when there is no
// room for it.
bool append_line(RecordLines& lines, std::string_view line);

// True when the line at line, of length bytes, can be appended as a step
// from the line before, and there is room for the step.
inline bool has_room_for_step(const RecordLines& lines, const char* line,
                              size_t length) {
  return lines.end != nullptr && lines.steps.size < lines.steps.capacity &&
         static_cast<size_t>(line - lines.end) <= UINT16_MAX &&
         length <= UINT16_MAX;
}

// Appends the line as a step, where has_room_for_step allows it.
inline void append_step(RecordLines& lines, const char* line, size_t length) {
  lines.steps.data[lines.steps.size++] = {
      static_cast<uint16_t>(line - lines.end), static_cast<uint16_t>(length)};
  lines.end = line + length;
}

// Makes room for count more lines.
inline bool reserve_lines(RecordLines& lines, size_t count) {
  return reserve(lines.steps, lines.steps.size + count);
}

void release_lines(RecordLines& lines);

// Reads the lines back in order, from the first.
struct LineCursor {
  const LineStep* step;
  const WholeLine* next_whole;
  const WholeLine* whole_end;
  const char* end;
  size_t index;
};

inline LineCursor first_line(const RecordLines& lines) {
  return {lines.steps.data, lines.whole.data,
          lines.whole.data + lines.whole.size, nullptr, 0};
}

inline std::string_view next_line(LineCursor& cursor) {
  std::string_view line;
  if (cursor.next_whole != cursor.whole_end &&
      cursor.next_whole->index == cursor.index) {
    line = cursor.next_whole->line;
    ++cursor.next_whole;
  } else {
    const LineStep step = cursor.step[cursor.index];
    line = std::string_view(cursor.end + step.gap, step.length);
  }
  cursor.end = line.data() + line.size();
  ++cursor.index;
  return line;
}
