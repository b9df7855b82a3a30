// Whole-program runs on hostile input: every case ends with exit status 0
// or 1 (never a signal) and with exactly the output the layout defines.
#include <gtest/gtest.h>

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

using BadInput = TempDirTest;

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
  const std::string text = read_file(EXAMPLES_DIR "/1orc.pdb");
  const ToolRun from_pipe = run_tool({EXAMPLES_DIR "/matrix.txt", "/dev/stdin"},
                                     {.stdin_text = &text});
  const ToolRun from_file =
      run_tool({EXAMPLES_DIR "/matrix.txt", EXAMPLES_DIR "/1orc.pdb"});
  EXPECT_EQ(from_pipe.status, 0);
  EXPECT_EQ(from_pipe.err, "");
  EXPECT_EQ(std::count(from_pipe.out.begin(), from_pipe.out.end(), '\n'), 500);
  EXPECT_TRUE(from_pipe.out == from_file.out);
}

TEST_F(BadInput, OutOfMemory) {
  if (tool_is_wrapped()) GTEST_SKIP() << "the wrapper needs more address space";
  // qemu-user runs in the tool's own process: the limit holds for both, and
  // its own mappings decide what the tool gets.
  if (tool_is_emulated())
    GTEST_SKIP() << "the emulator shares the limited address space";
#ifdef TOOL_HAS_ADDRESS_SANITIZER
  GTEST_SKIP() << "AddressSanitizer needs more address space";
#endif
  std::string text;
  for (int i = 0; i < 250000; ++i) text += kRecord;
  const std::string coordinates = file("c", text);
  // Too little room for the records: the file itself, or the arrays of
  // records, can't be had.
  for (const std::string& input : {coordinates, "/dev/stdin"s}) {
    const ToolRun r =
        run_tool({file("m", kIdentity), input},
                 {.stdin_text = &text, .address_space_limit = 24 << 20});
    EXPECT_EQ(r.status, 1) << input;
    EXPECT_EQ(r.out, "") << input;
    EXPECT_TRUE(r.err == "decompress-zaduride: out of memory\n" ||
                r.err == "decompress-zaduride: " + input +
                             ": Cannot allocate memory\n")
        << input << ": " << r.err;
  }
}

}  // namespace
