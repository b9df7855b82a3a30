#include "record_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "line_views.h"

namespace {

// Lines at the edges of what four bytes can tell, in two texts; each comes
// back as the same bytes at the same place, and only those four bytes can't
// tell are held whole.
TEST(RecordLines, GiveBackEachLineWhereItIs) {
  struct Piece {
    size_t gap;  // bytes before the line, after the line before
    size_t length;
    bool whole;  // held whole: the first of a text, or too far or too long
  };
  const Piece first_text[] = {
      {0, 81, true},    {0, 81, false},    {0, 0, false},    {65535, 7, false},
      {65536, 7, true}, {1, 65535, false}, {0, 65536, true}, {27, 81, false},
  };
  const Piece second_text[] = {{3, 81, true}, {0, 1, false}};
  const std::string text_one(200000, 'a');
  const std::string text_two(100, 'b');
  RecordLines lines;
  std::vector<std::string_view> expected;
  size_t whole = 0;
  const auto add = [&](const std::string& text, const auto& pieces) {
    start_text(lines);
    size_t at = 0;
    for (const Piece& piece : pieces) {
      at += piece.gap;
      const std::string_view line(text.data() + at, piece.length);
      ASSERT_TRUE(append_line(lines, line));
      expected.push_back(line);
      whole += piece.whole ? 1 : 0;
      at += piece.length;
    }
  };
  add(text_one, first_text);
  add(text_two, second_text);
  EXPECT_EQ(line_count(lines), expected.size());
  EXPECT_EQ(lines.whole.size, whole);
  const std::vector<std::string_view> views = line_views(lines);
  ASSERT_EQ(views.size(), expected.size());
  for (size_t i = 0; i < views.size(); ++i) {
    EXPECT_EQ(views[i].data(), expected[i].data()) << i;
    EXPECT_EQ(views[i].size(), expected[i].size()) << i;
  }
  release_lines(lines);
}

}  // namespace
