// Whole-program runs on hostile input: every case ends with exit status 0
// or 1 (never a signal) and with exactly the output the layout defines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "reference.h"
#include "run_tool.h"
#include "temp_dir_test.h"

// The tool is built with the same flags as the tests.
#if defined(__SANITIZE_ADDRESS__)
#define TOOL_HAS_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOOL_HAS_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

using namespace std::string_literals;

const std::string kIdentity = "0 0 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n";
const std::string kRecord =
    "ATOM      1  N   GLN A   3      12.772  36.309   7.065  1.00100.00        "
    "   N  \n";

// The line, count times over.
std::string repeated(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line;
  return text;
}

// kRecord with the given bytes in place of its x field (offsets 30-37).
std::string record_with_x(const std::string& field) {
  return kRecord.substr(0, 30) + field + kRecord.substr(38);
}

using BadInput = TempDirTest;

// Why a limit on the address space would not be the tool's alone, or
// nullptr where it is.
const char* address_space_is_not_the_tools() {
  if (tool_is_wrapped()) return "the wrapper needs more address space";
  // qemu-user runs in the tool's own process: the limit holds for both, and
  // its own mappings decide what the tool gets.
  if (tool_is_emulated())
    return "the emulator shares the limited address space";
#ifdef TOOL_HAS_ADDRESS_SANITIZER
  return "AddressSanitizer needs more address space";
#else
  return nullptr;
#endif
}

TEST_F(BadInput, DevNullAsEitherFile) {
  ToolRun r = run_tool({"/dev/null", file("c.pdb", kRecord)});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Reading error in matrix file /dev/null\n");
  r = run_tool({file("m", kIdentity), "/dev/null"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(BadInput, RandomBytesWithRecordsPlantedAmongThem) {
  std::mt19937_64 random(10);
  std::string text;
  while (text.size() < 10'000'000) {
    if (random() % 64 == 0)
      text +=
          random() % 2 ? "\n" + kRecord : "\r\n  ATOM" + std::string(60, 'x');
    text += static_cast<char>(random());
  }
  const float centre[3] = {1.5f, -2.25f, 3};
  const float matrix[4][3] = {{10, 20, 30}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}};
  const ToolRun r =
      run_tool({file("m", "1.5 -2.25 3\n10 20 30\n0 1 0\n0 0 1\n1 0 0\n"),
                file("c", text)});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_GT(reference_record_count(text), 1000u);
  EXPECT_TRUE(r.out == reference_records(text, centre, matrix));
}

TEST_F(BadInput, FiftyMegabyteLine) {
  const std::string filler(50'000'000, 'x');
  const std::string record = kRecord.substr(0, 80) + filler + "\n";
  ToolRun r =
      run_tool({file("m", kIdentity), file("c", kRecord + record + kRecord)});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out == kRecord + record + kRecord);
  r = run_tool(
      {file("m", kIdentity), file("c", "REMARK " + filler + " ATOM\n")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(BadInput, NulBytesAndEmptyLines) {
  for (const std::string& text :
       {std::string(100000, '\0'), std::string(200000, '\n'),
        std::string(100000, '\0') + "\nATOM",
        std::string(200000, '\n') + "  \0ATOM\n"s}) {
    const ToolRun r = run_tool({file("m", kIdentity), file("c", text)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, text.back() == 'M' ? "ATOM" + std::string(26, ' ') +
                                              "   0.000   0.000   0.000"
                                        : "");
  }
}

TEST_F(BadInput, BinaryMatrixFile) {
  const std::string garbage =
      "\x7f"
      "ELF\x02\x01\x01\0\0\0\n"s;
  const ToolRun r = run_tool({file("m", garbage), file("c", kRecord)});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, garbage);
  EXPECT_EQ(r.err, "Reading error in matrix file " + dir + "/m\n");
}

TEST_F(BadInput, ClosedStandardOutput) {
  if (tool_is_wrapped())
    GTEST_SKIP() << "the wrapper writes to the same descriptors";
  ToolRun r = run_tool({file("m", kIdentity), file("c", kRecord)},
                       {.close_stdout = true});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "decompress-zaduride: standard output: Bad file descriptor\n");
  // Nothing to write, so nothing lost.
  r = run_tool({file("m", kIdentity), file("c", "TER\n")},
               {.close_stdout = true});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(BadInput, CoordinatesFromAPipe) {
  // The mmCIF file's output: its data_ line, a loop_ line and 18 tags, and
  // 559 rows. 1orc 40 times over, 2.8 MB, grows the buffer a stream is read
  // into past its first huge page.
  const std::string large =
      file("large.pdb", repeated(read_file(EXAMPLES_DIR "/1orc.pdb"), 40));
  const struct {
    std::string path;
    long lines;
  } cases[] = {{EXAMPLES_DIR "/1orc.pdb", 500},
               {TEST_DATA_DIR "/1orc.cif", 1 + 1 + 18 + 559},
               {large, 500 * 40}};
  for (const auto& c : cases) {
    const std::string text = read_file(c.path);
    const ToolRun from_pipe = run_tool(
        {EXAMPLES_DIR "/matrix.txt", "/dev/stdin"}, {.stdin_text = &text});
    const ToolRun from_file = run_tool({EXAMPLES_DIR "/matrix.txt", c.path});
    EXPECT_EQ(from_pipe.status, 0) << c.path;
    EXPECT_EQ(from_pipe.err, "") << c.path;
    EXPECT_EQ(std::count(from_pipe.out.begin(), from_pipe.out.end(), '\n'),
              c.lines)
        << c.path;
    EXPECT_TRUE(from_pipe.out == from_file.out) << c.path;
  }
}

TEST_F(BadInput, FileLargerThanA32BitAddressSpace) {
  if (sizeof(size_t) > 4) GTEST_SKIP() << "the address space holds the file";
  // 5 GiB, sparse: a record, then nothing. Its size cut to 32 bits would
  // be 1 GiB and the record would come out as if the file ended there.
  const std::string coordinates = file("c", kRecord);
  ASSERT_EQ(truncate64(coordinates.c_str(), off64_t{5} << 30), 0);
  const ToolRun r = run_tool({file("m", kIdentity), coordinates});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "decompress-zaduride: " + coordinates + ": File too large\n");
}

TEST_F(BadInput, OutOfMemory) {
  if (const char* why = address_space_is_not_the_tools()) GTEST_SKIP() << why;
  const std::string text = repeated(kRecord, 250000);
  const std::string coordinates = file("c", text);
  // Too little room for the records: the file itself, or the arrays of
  // records, can't be had.
  for (const std::string& input : {coordinates, "/dev/stdin"s}) {
    const ToolRun r =
        run_tool({file("m", kIdentity), input},
                 {.stdin_text = &text, .address_space_limit = 24 << 20});
    EXPECT_EQ(r.status, 1) << input;
    EXPECT_EQ(r.out, "") << input;
    EXPECT_EQ(r.err, "decompress-zaduride: out of memory\n") << input;
  }
}

TEST_F(BadInput, AddressSpaceFollowsTheRecordsNotTheFileSize) {
  if (const char* why = address_space_is_not_the_tools()) GTEST_SKIP() << why;
  // 51 MB of remarks and one record need little more than the file itself;
  // 49 MB of records need room for their coordinates and lines as well.
  const std::string remark(80, 'R');
  const std::string remarks =
      repeated("REMARK " + remark + "\n", 637500) + kRecord;
  const std::string records = repeated(kRecord, 600000);
  struct Case {
    std::string text, expected;
    double share;
  };
  const Case cases[] = {{remarks, kRecord, 1.1}, {records, records, 1.6}};
  for (const Case& c : cases) {
    const std::string path = file("c.pdb", c.text);
    const long limit =
        static_cast<long>(c.share * static_cast<double>(c.text.size())) +
        (16l << 20);
    const ToolRun r =
        run_tool({file("m", kIdentity), path}, {.address_space_limit = limit});
    EXPECT_EQ(r.status, 0) << c.share << ": " << r.err;
    EXPECT_TRUE(r.out == c.expected) << c.share;
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(BadInput, EveryLimitThatRunsWritesEveryRecord) {
  if (const char* why = address_space_is_not_the_tools()) GTEST_SKIP() << why;
  // Enough records for the writing to want a block of 2 MiB, which a limit
  // just above the least that runs has no room for.
  const std::string text = repeated(kRecord, 10000);
  const std::string matrix = file("m", kIdentity);
  const std::string coordinates = file("c.pdb", text);
  const auto run_under = [&](long limit) {
    return run_tool({matrix, coordinates}, {.address_space_limit = limit});
  };
  // A limit that runs, near the least one.
  long low = 0;
  long high = 64l << 20;
  ASSERT_EQ(run_under(high).status, 0);
  while (high - low > (64l << 10)) {
    const long middle = (low + high) / 2;
    (run_under(middle).status == 0 ? high : low) = middle;
  }
  // From well above it down to the first limit that is too small, every
  // run writes every record; the last reports that it found no room.
  for (long limit = high + (3l << 20); limit > 0; limit -= 128l << 10) {
    const ToolRun r = run_under(limit);
    if (r.err == "decompress-zaduride: out of memory\n") {
      EXPECT_EQ(r.status, 1) << limit;
      EXPECT_EQ(r.out, "") << limit;
      break;
    }
    EXPECT_EQ(r.status, 0) << limit;
    EXPECT_TRUE(r.out == text) << limit;
    EXPECT_EQ(r.err, "") << limit;
  }
}

TEST_F(BadInput, StandardOutputIsTheCoordinateFile) {
  // Moved by 10000 in x, every record grows by a byte, so the output runs
  // ahead of the records not yet written; they must still be written as
  // they were read: x 12.772 + 10000 is "10012.772".
  const std::string text = repeated(kRecord, 30000);
  const std::string expected = repeated(record_with_x("10012.772"), 30000);
  const std::string path = file("c.pdb", text);
  const std::string matrix =
      file("m", "0 0 0\n10000 0 0\n1 0 0\n0 1 0\n0 0 1\n");
  const std::string link = dir + "/link.pdb";
  ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
  // The file by its own name, and by another name for the same file.
  for (const std::string& input : {path, link}) {
    write_file(path, text);
    const ToolRun r = run_tool({matrix, input}, {.stdout_path = path.c_str(),
                                                 .stdout_read_write = true});
    EXPECT_EQ(r.status, 0) << input;
    EXPECT_EQ(r.err, "") << input;
    EXPECT_TRUE(read_file(path) == expected) << input;
  }
}

TEST_F(BadInput, CoordinateFileChangedWhileTheToolWrites) {
  // 8.1 MB of records, more than a pipe holds: the tool still has records
  // to write when the file changes.
  const std::string text = repeated(kRecord, 100000);
  // x 12.772 doubled is 25.544.
  const std::string doubled = repeated(record_with_x("  25.544"), 100000);
  const std::string matrix = file("m", kIdentity);
  const std::string path = dir + "/c.pdb";
  struct Case {
    const char* change;
    std::function<void()> make;
    int status;
  };
  const Case cases[] = {
      {"cut by 1 byte",
       [&] {
         ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(text.size() - 1)),
                   0);
       },
       1},
      {"rewritten in place, the same size",
       [&] {
         const int out = open(path.c_str(), O_WRONLY);
         ASSERT_EQ(pwrite(out, doubled.data(), doubled.size(), 0),
                   static_cast<ssize_t>(doubled.size()));
         close(out);
       },
       1},
      // The tool goes on reading the file it opened.
      {"a new file renamed over its name",
       [&] {
         write_file(dir + "/new.pdb", doubled);
         ASSERT_EQ(rename((dir + "/new.pdb").c_str(), path.c_str()), 0);
       },
       0},
  };
  for (const Case& c : cases) {
    write_file(path, text);
    // Times far in the past, so that a write moves them however coarse the
    // file system's clock.
    const timespec long_ago[2] = {{1, 0}, {1, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), long_ago, 0), 0);
    const ToolRun r = run_tool({matrix, path}, {.on_output = c.make});
    EXPECT_EQ(r.status, c.status) << c.change;
    if (c.status == 0) {
      EXPECT_EQ(r.err, "") << c.change;
      EXPECT_TRUE(r.out == text) << c.change;
    } else {
      EXPECT_EQ(r.err, "decompress-zaduride: " + path +
                           ": file changed while in use\n")
          << c.change;
    }
  }
}

}  // namespace
