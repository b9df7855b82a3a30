// Whole-program tests: each runs the built tool and checks its exit status,
// its standard output byte for byte and its standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"
#include "temp_dir_test.h"

namespace {

using namespace std::string_literals;

const std::string kIdentity = "0 0 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n";
const std::string kHead = "ATOM      1  N   GLN A   3    ";
const std::string kTail = "  1.00 20.00           N  ";

// The lines of a coordinate file whose first token begins with ATOM, as the
// layout says they are written under the identity when every coordinate
// field is already in "%8.3f" form.
std::string atom_lines(const std::string& text) {
  std::string result;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    if (text.compare(start, 4, "ATOM") == 0)
      result += text.substr(start, end - start);
    start = end;
  }
  return result;
}

// The x, y and z of each atom record the tool wrote, as text: the
// fixed-column fields, or the 10th to 12th values of each row of
// tests/data/1orc.cif, where its Cartn_ columns stand, one row a line.
std::vector<std::string> moved_coordinates(const std::string& out, bool mmcif) {
  std::vector<std::string> atoms;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (mmcif && (line[0] == '_' || line.starts_with("data_") ||
                  line.starts_with("loop_")))
      continue;
    std::istringstream values(mmcif ? line : line.substr(30, 24));
    std::vector<std::string> row;
    for (std::string value; values >> value;) row.push_back(value);
    const size_t x = mmcif ? 9 : 0;
    atoms.push_back(row.at(x) + " " + row.at(x + 1) + " " + row.at(x + 2));
  }
  return atoms;
}

class Tool : public TempDirTest {
 protected:
  // Runs the tool on a matrix file and a coordinate file with these texts.
  ToolRun run(const std::string& matrix, const std::string& coordinates) {
    return run_tool({file("matrix", matrix), file("coordinates", coordinates)});
  }
  std::string matrix_error() const {
    return "Reading error in matrix file " + dir + "/matrix\n";
  }
};

TEST_F(Tool, MissingArgumentsPrintUsage) {
  const std::string usage =
      "usage: decompress-zaduride matrix-file coordinate-file (see man "
      "decompress-zaduride)\n";
  for (const auto& args :
       {std::vector<std::string>{},
        std::vector<std::string>{EXAMPLES_DIR "/matrix.txt"}}) {
    const ToolRun r = run_tool(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, usage);
  }
}

TEST_F(Tool, MovesTheExampleStructure) {
  const std::vector<std::string> args = {EXAMPLES_DIR "/matrix.txt",
                                         EXAMPLES_DIR "/1orc.pdb"};
  const ToolRun r = run_tool(args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // First record (12.772, 36.309, 7.065) less the centre (23.25, 37.2,
  // 16.88) is (-10.478, -0.891, -9.815), so
  //   x = 0.36(-10.478) + 0.48(-0.891) - 0.80(-9.815) + 10 = 13.65224
  //   y = -0.80(-10.478) + 0.60(-0.891) + 0 - 5 = 2.8478
  //   z = 0.48(-10.478) + 0.64(-0.891) + 0.60(-9.815) + 2.5 = -8.98868
  // (single-precision matrix values move these by less than 1e-6).
  EXPECT_EQ(r.out.substr(0, 81),
            "ATOM      1  N   GLN A   3      13.652   2.848  -8.989  1.00100.00"
            "           N  \n");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 500);
  EXPECT_EQ(r.out.find("HETATM"), std::string::npos);
  // A third argument changes nothing.
  std::vector<std::string> more = args;
  more.push_back("ignored");
  const ToolRun again = run_tool(more);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, r.out);
}

TEST_F(Tool, IdentityGivesBackEveryAtomRecord) {
  for (const char* name :
       {EXAMPLES_DIR "/1orc.pdb", TEST_DATA_DIR "/1crn_crlf.pdb",
        TEST_DATA_DIR "/xl_serial_stars.pdb"}) {
    const ToolRun r = run_tool({file("matrix", kIdentity), name});
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(r.out, atom_lines(read_file(name))) << name;
  }
}

TEST_F(Tool, RealignsFieldsWrittenOffColumn) {
  const std::string path = TEST_DATA_DIR "/5digit_resid.pdb";
  const ToolRun r = run_tool({file("matrix", kIdentity), path});
  EXPECT_EQ(r.status, 0);
  const std::string tail = "  1.00  0.00      TIP3\n";
  EXPECT_EQ(
      r.out,
      "ATOM  1      OH2 TIP3 1          8.062 -54.900  20.883" + tail +
          "ATOM  2      OH2 TIP3 10       -10.347 -39.096  33.584" + tail +
          "ATOM  3      OH2 TIP3 100        4.062 -54.900  20.883" + tail +
          "ATOM  4      OH2 TIP3 1000     -11.347 -39.096  33.584" + tail +
          "ATOM  5      OH2 TIP3 10000    -50.081 -29.767  34.409" + tail);
}

TEST_F(Tool, MatrixValuesActInSinglePrecision) {
  // 0.1 is read as the float 0.100000001490116..., so 1.005 (the double
  // 1.00499999999999989...) becomes 0.1005000015..., written 0.101; the
  // double 0.1 would have given 0.1004999999..., written 0.100.
  const ToolRun r = run("0 0 0\n0 0 0\n0.1 0 0\n0 1 0\n0 0 1\n",
                        kHead + "   1.005   2.000   3.000" + kTail + "\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kHead + "   0.101   2.000   3.000" + kTail + "\n");
}

TEST_F(Tool, SubnormalMatrixValuesActAtTheirValue) {
  // A processor set to flush subnormal numbers to zero would make these
  // products 0.000. Worked out with exact rational arithmetic:
  //   1e-39 reads as the subnormal float 713624 * 2^-149 (1e-39 * 2^149 is
  //   713623.846...); 1e300 reads as the double 6724873095247260 * 2^944;
  //   their product, 713624 * 6724873095247260 * 2^795, has 73 significant
  //   bits and rounds to the nearest 53-bit double, an integer of 262
  //   digits, written in full with ".000".
  //   1.4e-45 reads as 2^-149, the least subnormal float; times the double
  //   1e300 that is 6724873095247260 * 2^795 exactly, 256 digits.
  const std::string p1 =
      "100000021530533321216588755945346419346254991506228586287294128752132"
      "136368631351182644374824093906281352003506485268880619180800908925342"
      "193418014400100414740076235346182315269863947222462744590887235584554"
      "8308626727678056651223219415212105529380028922445430784.000";
  const std::string p2 =
      "140129846432481714449856949865056066744848410202942505690986156714859"
      "772549108394630644946342225438520738866972342598537645486589494466497"
      "638798750468736420104694550167051901071116546736039551295368864499884"
      "2142610231409852926323768515729688143586844999680.000";
  const struct {
    std::string matrix, fields, moved;
  } cases[] = {
      {"0 0 0\n0 0 0\n1e-39 0 0\n0 1 0\n0 0 1\n", "   1e300   2.000   3.000",
       p1 + "   2.000   3.000"},
      {"0 0 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1.4e-45\n", "   1.000   2.000   1e300",
       "   1.000   2.000" + p2},
  };
  for (const auto& c : cases) {
    const ToolRun r = run(c.matrix, kHead + c.fields + kTail + "\n");
    EXPECT_EQ(r.status, 0) << c.matrix;
    EXPECT_EQ(r.err, "") << c.matrix;
    EXPECT_EQ(r.out, kHead + c.moved + kTail + "\n") << c.matrix;
  }
}

TEST_F(Tool, CentreRotationAndTranslationInOrder) {
  // Centre (1, 0, 0), translation (10, -20, 30) (the 40 is ignored) and the
  // inversion, spelled as "%f %f %f" accepts them:
  //   x' = -(3 - 1) + 10 = 8, y' = 5.5 - 20 = -14.5, z' = -7.25 + 30 = 22.75
  const ToolRun r =
      run("1 0 0\n10-20 30 40\n-1 0 0 junk\n 0 -1e0 0\n0 0 -1\nx\n",
          "HETATM\n" + kHead + "   3.000  -5.500   7.250" + kTail + "\nTER\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kHead + "   8.000 -14.500  22.750" + kTail + "\n");
}

TEST_F(Tool, MatrixAndCoordinatesInOneStream) {
  // A translation by (10, -20, 0.5) read from the stream's first five
  // lines; the records after them are all still there to be read:
  //   (1, 2, 3) -> (11, -18, 3.5), (-4.25, 0, 100) -> (5.75, -20, 100.5)
  const std::string stream =
      "0 0 0\n10 -20 0.5\n1 0 0\n0 1 0\n0 0 1\nREMARK\n" + kHead +
      "   1.000   2.000   3.000" + kTail + "\n" + kHead +
      "  -4.250   0.000 100.000" + kTail + "\n";
  const ToolRun r =
      run_tool({"/dev/stdin", "/dev/stdin"}, {.stdin_text = &stream});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kHead + "  11.000 -18.000   3.500" + kTail + "\n" + kHead +
                       "   5.750 -20.000 100.500" + kTail + "\n");
}

TEST_F(Tool, NegativeZeroTurnsPositiveAndFieldsStayInTheirColumns) {
  const ToolRun r =
      run(kIdentity, kHead + "  -0.000  12.3451000.000" + kTail + "\n");
  EXPECT_EQ(r.out, kHead + "   0.000  12.3451000.000" + kTail + "\n");
}

TEST_F(Tool, LineEndingsAndOtherBytesPassThrough) {
  for (const std::string ending : {"", "\n", "\r\n"}) {
    const std::string tail = "  1.00\0 0.00\r\xff\x01 X"s + ending;
    const ToolRun r = run(
        kIdentity, "ATOM 7\r\n" + kHead + "   1.000   2.000   3.000" + tail);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ATOM 7" + std::string(24, ' ') +
                         "   0.000   0.000   0.000\r\n" + kHead +
                         "   1.000   2.000   3.000" + tail);
  }
}

TEST_F(Tool, LongLinesAreReadWhole) {
  const std::string record =
      kHead + "   1.000   2.000   3.000" + std::string(4000, 'L') + "\n";
  const std::string dashes = std::string(2500, '-') + " ATOM\n";
  const ToolRun r = run(kIdentity, dashes + record + record);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, record + record);
}

TEST_F(Tool, NoAtomRecordsWritesNothing) {
  for (const std::string& coordinates :
       {""s, "HETATM    1\nTER\nEND\n"s, "\n\n  \n"s, "atom\nAtom\n"s}) {
    const ToolRun r = run(kIdentity, coordinates);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Tool, MmcifFileGetsTheDigitsOfTheSameStructureAsPdb) {
  // tests/data/1orc.cif is examples/1orc.pdb as gemmi writes it: a row for
  // each ATOM and HETATM record, in order, and no group_PDB, so that every
  // row is an atom record. Renamed, the HETATM records are moved by the
  // fixed-column path as well.
  std::string pdb = read_file(EXAMPLES_DIR "/1orc.pdb");
  for (size_t at = 0; (at = pdb.find("\nHETATM", at)) != std::string::npos;)
    pdb.replace(++at, 6, "ATOMHT");
  const ToolRun from_pdb =
      run_tool({EXAMPLES_DIR "/matrix.txt", file("1orc.pdb", pdb)});
  const ToolRun from_mmcif =
      run_tool({EXAMPLES_DIR "/matrix.txt", TEST_DATA_DIR "/1orc.cif"});
  EXPECT_EQ(from_pdb.status, 0);
  EXPECT_EQ(from_mmcif.status, 0);
  EXPECT_EQ(from_mmcif.err, "");
  const std::vector<std::string> expected =
      moved_coordinates(from_pdb.out, false);
  const std::vector<std::string> moved =
      moved_coordinates(from_mmcif.out, true);
  ASSERT_EQ(expected.size(), 559u);
  ASSERT_EQ(moved.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    if (moved[i] != expected[i]) {
      ADD_FAILURE() << "atom " << i + 1 << ": mmCIF " << moved[i] << ", PDB "
                    << expected[i];
      break;
    }
}

TEST_F(Tool, RefusedMmcifFileWritesNothing) {
  // Two atom records, then a coordinate with a standard uncertainty.
  const std::string path =
      file("su.cif",
           "data_su\nloop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n"
           "_atom_site.Cartn_y\n_atom_site.Cartn_z\nATOM 1.000 2.000 3.000\n"
           "ATOM 4.000 5.000 6.000\nATOM 12.345(3) 2.000 3.000\n");
  const ToolRun r = run_tool({file("matrix", kIdentity), path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "decompress-zaduride: " + path +
                       ": line 9: coordinate value has a standard "
                       "uncertainty: 12.345(3)\n");
}

TEST_F(Tool, CompressedFileIsRefusedWithTheZcatHint) {
  const std::string matrix = file("matrix", kIdentity);
  const std::string compressed = dir + "/1orc.pdb.gz";
  ASSERT_EQ(
      system(("gzip -c " EXAMPLES_DIR "/1orc.pdb > " + compressed).c_str()), 0);
  const std::string bytes = read_file(compressed);
  const struct {
    std::string path;
    const std::string* piped;
  } cases[] = {
      {compressed, nullptr},
      {file("magic.cif", "\x1f\x8b"), nullptr},
      {"/dev/stdin", &bytes},
  };
  for (const auto& c : cases) {
    const ToolRun r = run_tool({matrix, c.path}, {.stdin_text = c.piped});
    EXPECT_EQ(r.status, 1) << c.path;
    EXPECT_EQ(r.out, "") << c.path;
    EXPECT_EQ(r.err, "decompress-zaduride: " + c.path +
                         ": compressed with gzip; read it with zcat FILE | "
                         "decompress-zaduride MATRIX /dev/stdin\n");
  }
}

TEST_F(Tool, MissingMatrixFile) {
  // The coordinate file is never opened, so its absence is not reported.
  const ToolRun r = run_tool({dir + "/no-matrix", dir + "/no-coordinates"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Matrix file does not exist\n");
}

TEST_F(Tool, BadMatrixLineIsEchoedAndReported) {
  const std::string bad_lines[] = {"1,2,3\n", "1.0 2.0 abc\n", "\n",
                                   "   \n",   "1 2\0 3\n"s,    "- 1 2\r\n"};
  for (const std::string& bad : bad_lines) {
    for (int position = 0; position < 5; ++position) {
      std::string matrix;
      for (int line = 0; line < 5; ++line)
        matrix += line == position ? bad : "1 0 0\n";
      const ToolRun r =
          run(matrix + "\n", kHead + "   1.000   2.000   3.000\n");
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, bad);
      EXPECT_EQ(r.err, matrix_error());
    }
  }
  // Only the first bad line counts; a last line without newline is echoed
  // without one.
  ToolRun r = run("0 0 0\nx\ny\n", "");
  EXPECT_EQ(r.out, "x\n");
  r = run("0 0 0\n0 0 0\n1 0 0\n0 1 0\n0 0", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0 0");
  EXPECT_EQ(r.err, matrix_error());
}

TEST_F(Tool, LostEchoOfABadMatrixLineIsReported) {
  // A line longer than the output buffer is written at once, a short one
  // only when flushed; both must be reported when they can't be written.
  const std::string long_line = std::string(10000, 'x') + "\n";
  const struct {
    RunOptions sink;
    const char* reason;
  } sinks[] = {
      {{.stdout_path = "/dev/full"}, "No space left on device"},
      {{.close_stdout = true}, "Bad file descriptor"},
  };
  for (const auto& sink : sinks) {
    if (sink.sink.close_stdout && tool_is_wrapped()) continue;
    for (const std::string& bad : {"1 2 abc\n"s, long_line}) {
      const std::string matrix = file("matrix", "0 0 0\n" + bad);
      const ToolRun r = run_tool({matrix, file("c", kHead + "\n")}, sink.sink);
      EXPECT_EQ(r.status, 1) << sink.reason;
      EXPECT_EQ(r.err, matrix_error() +
                           "decompress-zaduride: standard output: " +
                           sink.reason + "\n")
          << sink.reason;
    }
  }
}

TEST_F(Tool, ShortMatrixFileIsReported) {
  for (const std::string& matrix :
       {""s, "0 0 0\n"s, "0 0 0\n0 0 0\n1 0 0\n0 1 0\n"s}) {
    const ToolRun r = run(matrix, kHead + "   1.000   2.000   3.000\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, matrix_error());
  }
  const ToolRun r = run_tool({dir, dir});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Reading error in matrix file " + dir + "\n");
}

TEST_F(Tool, UnreadableCoordinateFile) {
  const std::string matrix = file("matrix", kIdentity);
  ToolRun r = run_tool({matrix, dir + "/missing.pdb"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "decompress-zaduride: " + dir +
                       "/missing.pdb: No such file or directory\n");
  r = run_tool({matrix, dir});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "decompress-zaduride: " + dir + ": Is a directory\n");
}

TEST_F(Tool, WriteErrorIsReported) {
  const std::string matrix = file("matrix", kIdentity);
  ToolRun r = run_tool({matrix, EXAMPLES_DIR "/1orc.pdb"},
                       {.stdout_path = "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "decompress-zaduride: standard output: No space left on device\n");
  // Nothing to write: nothing lost.
  r = run_tool({matrix, file("empty.pdb", "")}, {.stdout_path = "/dev/full"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

}  // namespace
