#include "atom_records.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "line_views.h"
#include "run_tool.h"
#include "temp_dir_test.h"
#include "written_records.h"

namespace {

using namespace std::string_literals;

// Offsets 0-29 of a typical atom record, and its part from offset 54 on.
const std::string kHead = "ATOM      1  N   GLN A   3    ";
const std::string kTail = "  1.00 20.00           N  ";

TEST(IsAtomRecord, ComparesTheFirstTokensFirstFourBytes) {
  EXPECT_TRUE(is_atom_record("ATOM", 4));
  EXPECT_TRUE(is_atom_record("ATOMS 1", 7));
  EXPECT_TRUE(is_atom_record("  ATOM", 6));
  EXPECT_TRUE(is_atom_record(" \t\r\n\v\fATOM", 10));
  EXPECT_FALSE(is_atom_record("atom", 4));
  EXPECT_FALSE(is_atom_record("Atom", 4));
  EXPECT_FALSE(is_atom_record("HETATM", 6));
  EXPECT_FALSE(is_atom_record("TER", 3));
  EXPECT_FALSE(is_atom_record("", 0));
  EXPECT_FALSE(is_atom_record(" \r\n", 3));
  // Only the given length counts; the bytes after it are not looked at.
  EXPECT_FALSE(is_atom_record("ATOM", 3));
  // A NUL is neither white space nor part of "ATOM".
  EXPECT_FALSE(is_atom_record("\0ATOM", 5));
  EXPECT_FALSE(is_atom_record("ATO\0M", 5));
}

TEST(TerminatorLength, RecognisesNewlineAndCarriageReturnNewline) {
  EXPECT_EQ(terminator_length("", 0), 0u);
  EXPECT_EQ(terminator_length("ATOM", 4), 0u);
  EXPECT_EQ(terminator_length("\n", 1), 1u);
  EXPECT_EQ(terminator_length("ATOM\n", 5), 1u);
  EXPECT_EQ(terminator_length("ATOM\r\n", 6), 2u);
  EXPECT_EQ(terminator_length("\r\n", 2), 2u);
  EXPECT_EQ(terminator_length("ATOM\r", 5), 0u);
  EXPECT_EQ(terminator_length("ATOM\r\r\n", 7), 2u);
}

class AtomRecordsFile : public TempDirTest {
 protected:
  void TearDown() override {
    release_array(atoms);
    release_lines(texts);
    release_mmcif_layout(layout);
    release_coordinate_texts();
    TempDirTest::TearDown();
  }
  int read_text(const std::string& text) {
    return read_atom_records(file("coordinates.pdb", text).c_str(), atoms,
                             texts, layout);
  }
  GrowableArray<Coor3f> atoms;
  RecordLines texts;
  MmcifLayout layout;
};

TEST_F(AtomRecordsFile, KeepsAtomRecordsWholeAndInOrder) {
  const std::string first = kHead + "   1.000   2.000   3.000" + kTail + "\r\n";
  const std::string second = "  ATOMS" + std::string(23, 'x') +
                             "  -4.500   5.250  -6.125" + kTail + "\n";
  const std::string third = kHead + "   7.000   8.000   9.000\0tail"s;
  ASSERT_EQ(read_text("REMARK 1\n" + first + "HETATM   2\nTER\n\n   \n" +
                      "atom\n" + second + "END\n" + third),
            0);
  ASSERT_EQ(atoms.size, 3u);
  EXPECT_EQ(line_views(texts),
            (std::vector<std::string_view>{first, second, third}));
  EXPECT_EQ(atoms.data[0].x, 1.0);
  EXPECT_EQ(atoms.data[0].z, 3.0);
  EXPECT_EQ(atoms.data[1].x, -4.5);
  EXPECT_EQ(atoms.data[1].y, 5.25);
  EXPECT_EQ(atoms.data[1].z, -6.125);
  EXPECT_EQ(atoms.data[2].y, 8.0);
}

TEST_F(AtomRecordsFile, ReadsLongLinesWhole) {
  const std::string long_record =
      kHead + "   1.000   2.000   3.000" + std::string(5000, 'L') + "\n";
  const std::string long_other = std::string(3000, '-') + "ATOM\n";
  ASSERT_EQ(read_text(long_other + long_record + long_record), 0);
  EXPECT_EQ(line_views(texts),
            (std::vector<std::string_view>{long_record, long_record}));
}

TEST_F(AtomRecordsFile, EmptyFileHasNoRecords) {
  EXPECT_EQ(read_text(""), 0);
  EXPECT_TRUE(atoms.size == 0);
}

TEST_F(AtomRecordsFile, ReportsMissingFileAndReadError) {
  EXPECT_EQ(read_atom_records((dir + "/missing").c_str(), atoms, texts, layout),
            ENOENT);
  EXPECT_EQ(read_atom_records(dir.c_str(), atoms, texts, layout), EISDIR);
  EXPECT_TRUE(atoms.size == 0);
  EXPECT_TRUE(line_count(texts) == 0);
}

TEST_F(AtomRecordsFile, FileCutShortWhileInUseIsReported) {
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += kHead + "   1.000   2.000   3.000" + kTail + "\n";
  ASSERT_EQ(read_text(text), 0);
  ASSERT_EQ(line_count(texts), 200u);
  // The last record's page is gone once the file is cut short; reading it
  // ends the run with a message instead of a crash.
  ASSERT_EQ(truncate((dir + "/coordinates.pdb").c_str(), 0), 0);
  EXPECT_EXIT(
      {
        volatile char byte = line_views(texts).back()[0];
        (void)byte;
        _exit(0);
      },
      ::testing::ExitedWithCode(1),
      "^decompress-zaduride: .*/coordinates.pdb: file truncated or unreadable "
      "while in use\n$");
}

TEST_F(AtomRecordsFile, ChangesWhileInUseAreSeenOnceTheRecordsAreWritten) {
  // 41,010 records of 81 bytes: 3,321,810 bytes, of which the last 4 KiB
  // page holds 4,050. A cut inside that page leaves it mapped and reading
  // as zeros, with no signal.
  const std::string record = kHead + "  12.345  -6.789  10.111" + kTail + "\n";
  std::string text, other;
  for (int i = 0; i < 41010; ++i) {
    text += record;
    other += record.substr(0, 17) + "GLY" + record.substr(20);
  }
  const std::string path = dir + "/coordinates.pdb";
  const auto cut_by = [&](off_t bytes) {
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(text.size()) - bytes),
              0);
  };
  struct Case {
    const char* change;
    std::function<void()> make;
    bool seen;
  };
  const Case cases[] = {
      {"none", [] {}, false},
      {"cut by 1 byte", [&] { cut_by(1); }, true},
      {"cut by 3,950 bytes", [&] { cut_by(3950); }, true},
      {"rewritten with '>', the same size", [&] { write_file(path, other); },
       true},
      {"appended to",
       [&] {
         const int file = open(path.c_str(), O_WRONLY | O_APPEND);
         ASSERT_EQ(write(file, record.data(), record.size()),
                   static_cast<ssize_t>(record.size()));
         close(file);
       },
       true},
      // The records stay those of the file that was opened.
      {"a new file renamed over its name",
       [&] {
         write_file(dir + "/new.pdb", other);
         ASSERT_EQ(rename((dir + "/new.pdb").c_str(), path.c_str()), 0);
       },
       false},
  };
  for (const Case& c : cases) {
    write_file(path, text);
    // Times far in the past, so that a write moves them however coarse the
    // file system's clock.
    const timespec long_ago[2] = {{1, 0}, {1, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), long_ago, 0), 0);
    ASSERT_EQ(read_atom_records(path.c_str(), atoms, texts, layout), 0)
        << c.change;
    c.make();
    const std::string out = written_records(items(atoms), texts, {});
    EXPECT_EQ(coordinate_texts_changed(), c.seen) << c.change;
    if (!c.seen) {
      EXPECT_TRUE(out == text) << c.change;
    }
    release_array(atoms);
    release_lines(texts);
    release_coordinate_texts();
  }
}

// Writes the records to a string instead of standard output.
std::string written(const std::vector<Coor3f>& atoms,
                    const std::vector<std::string_view>& texts) {
  RecordLines lines;
  for (const std::string_view text : texts) {
    start_text(lines);
    EXPECT_TRUE(append_line(lines, text));
  }
  std::string result = written_records(atoms, lines, {});
  release_lines(lines);
  return result;
}

TEST(WriteAtomRecords, ReplacesOnlyTheCoordinateFields) {
  const std::string line = kHead + "   1.000   2.000   3.000" + kTail + "\n";
  EXPECT_EQ(written({{-12.5, 0.25, 1234.5678}}, {line}),
            kHead +
                " -12.500   0.250123"
                "4.568" +
                kTail + "\n");
}

TEST(WriteAtomRecords, RoundsAsPercentEightPointThreeF) {
  const std::string line = kHead + "   0.000   0.000   0.000" + kTail;
  // 1.0625 and 1.1875 are exact ties and round to even; -0.0004 keeps its
  // sign; values that need more than eight bytes widen the record.
  EXPECT_EQ(written({{1.0625, 1.1875, -0.0004}}, {line}),
            kHead + "   1.062   1.188  -0.000" + kTail);
  EXPECT_EQ(written({{10000.0, -1000.0, 9999.99951171875}}, {line}),
            kHead + "10000.000-1000.00010000.000" + kTail);
  EXPECT_EQ(written({{9999.9994, -999.9994, 0.0}}, {line}),
            kHead + "9999.999-999.999   0.000" + kTail);
}

TEST(WriteAtomRecords, KeepsLineEndingsAndEveryOtherByte) {
  const std::string fields = "   0.000   0.000   0.000";
  for (const std::string ending : {"", "\n", "\r\n"}) {
    const std::string tail = "  1.00\0 0.00\r  X"s + ending;
    EXPECT_EQ(written({{1, 2, 3}, {4, 5, 6}},
                      {kHead + fields + tail, kHead + fields + tail}),
              kHead + "   1.000   2.000   3.000" + tail + kHead +
                  "   4.000   5.000   6.000" + tail);
  }
}

TEST(WriteAtomRecords, PadsShortRecords) {
  // Content shorter than 54 bytes: the head padded with blanks to 30 bytes,
  // the three fields, then only the line's own terminator.
  for (const std::string ending : {"", "\n", "\r\n"}) {
    EXPECT_EQ(
        written({{1, 2, 3}}, {"ATOM 1" + ending}),
        "ATOM 1" + std::string(24, ' ') + "   1.000   2.000   3.000" + ending);
    EXPECT_EQ(written({{1, 2, 3}}, {kHead + "   9.000  8" + ending}),
              kHead + "   1.000   2.000   3.000" + ending);
    const std::string content53 = kHead + std::string(23, '5');
    EXPECT_EQ(written({{1, 2, 3}}, {content53 + ending}),
              kHead + "   1.000   2.000   3.000" + ending);
  }
}

}  // namespace
