// Whole-program tests of the documented recipes and worked examples: the
// matrices other programs print, converted as the manual page says; what the
// centre does; compressed entries through a pipe; ensembles; ligands moved
// under another name; the check of a converted matrix; many poses at once.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"
#include "temp_dir_test.h"

namespace {

const std::string kHead = "ATOM      1  CA  GLY A   1    ";
const std::string kTail = "  1.00 20.00           C\n";

std::string record(const std::string& fields) { return kHead + fields + kTail; }

class Recipes : public TempDirTest {
 protected:
  // The documents call the tool by its installed name: a script of that
  // name, first on the shell's PATH, starts the tool under test.
  void SetUp() override {
    TempDirTest::SetUp();
    std::string script = "#!/bin/sh\nexec";
    for (const std::string& word : tool_command()) script += " '" + word + "'";
    ASSERT_EQ(shell("mkdir bin"), 0);
    file("bin/decompress-zaduride", script + " \"$@\"\n");
    ASSERT_EQ(shell("chmod +x bin/decompress-zaduride"), 0);
  }
  // Runs a shell command in the test's directory; gives its exit status.
  int shell(const std::string& command) {
    const int status = system(
        ("cd '" + dir + "' && PATH=\"$PWD/bin:$PATH\" && " + command).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

// Every recipe's worked example is the same transformation, x' = R·x + t,
//   R = ( 0.36 0.48 -0.80 / -0.80 0.60 0.00 / 0.48 0.64 0.60 ),
//   t = (10, -5, 2.5),
// so every converted matrix must move these records alike:
//   (1, 2, 3):
//     x' =  0.36 + 0.96 - 2.40 + 10  =   8.92
//     y' = -0.80 + 1.20 + 0    - 5   =  -4.60
//     z' =  0.48 + 1.28 + 1.80 + 2.5 =   6.06
//   (-2, 0.5, 4):
//     x' = -0.72 + 0.24 - 3.20 + 10  =   6.32
//     y' =  1.60 + 0.30 + 0    - 5   =  -3.10
//     z' = -0.96 + 0.32 + 2.40 + 2.5 =   4.26
//   (10, -10, 0):
//     x' =  3.60 - 4.80 + 0    + 10  =   8.80
//     y' = -8.00 - 6.00 + 0    - 5   = -19.00
//     z' =  4.80 - 6.40 + 0    + 2.5 =   0.90
// The single-precision matrix values move these by less than 1e-6, far from
// any tie at three decimals.
const std::string kRecords = record("   1.000   2.000   3.000") +
                             record("  -2.000   0.500   4.000") +
                             record("  10.000 -10.000   0.000");
const std::string kMoved = record("   8.920  -4.600   6.060") +
                           record("   6.320  -3.100   4.260") +
                           record("   8.800 -19.000   0.900");

struct Recipe {
  const char* program;
  const char* printout_file;
  std::string printout;
  // The manual page's conversion, run in the directory of the printout.
  std::string convert;
};

const std::string kTmAlignConversion =
    "awk 'NF == 5 && $1 ~ /^[0-3]$/ && n++ < 3 {t[n] = $2; "
    "r[n] = $3 \" \" $4 \" \" $5} END {print \"0 0 0\"; "
    "print t[1], t[2], t[3]; print r[1]; print r[2]; print r[3]}' "
    "tm.mat > pose.mat";
const std::string kFourByFourConversion =
    "tr '(),[]\\n' '      ' < matrix.txt | awk '{print \"0 0 0\"; "
    "print $4, $8, $12; print $1, $2, $3; print $5, $6, $7; "
    "print $9, $10, $11}' > pose.mat";
const std::string kRowVectorConversion =
    "tr '(),[]\\n' '      ' < matrix.txt | awk '{print \"0 0 0\"; "
    "print $13, $14, $15; print $1, $5, $9; print $2, $6, $10; "
    "print $3, $7, $11}' > pose.mat";
const std::string kThreeByFourConversion =
    "awk 'NF == 4 && $4 ~ /^[-+.0-9]/ && n++ < 3 {r[n] = $1 \" \" $2 "
    "\" \" $3; t[n] = $4} END {print \"0 0 0\"; print t[1], t[2], t[3]; "
    "print r[1]; print r[2]; print r[3]}' chimera.txt > pose.mat";

// The Biopython recipe, in Python; its output is the row below.
const std::string kBiopythonConversion =
    "import numpy\n"
    "rot, tran = sup.rotran\n"
    "numpy.savetxt(\"pose.mat\", numpy.vstack([numpy.zeros(3), tran, "
    "rot.T]))";
const std::string kCompressedEntryPipe =
    "zcat pdb1abc.ent.gz | decompress-zaduride pose.mat /dev/stdin > "
    "moved.pdb";
// HETATM records become atom records under a six-byte name that begins with
// ATOM, and take their own name back after the tool.
const std::string kLigandRename =
    "sed 's/^HETATM/ATOMHT/' complex.pdb | decompress-zaduride pose.mat "
    "/dev/stdin | sed 's/^ATOMHT/HETATM/' > moved.pdb";
// TM-align's own superposition: structure 1 moved, then TER and structure 2.
const std::string kTmAlignTheirs =
    "awk '/^TER/ {exit} 1' sup_all_atm.pdb > theirs.pdb";
// The tool's output against a structure the program moved itself, atom by
// atom by name, residue and chain (columns 13 to 27).
const std::string kCheckConversion =
    "decompress-zaduride pose.mat mobile.pdb > moved.pdb\n"
    "awk '{k = substr($0, 13, 15)} NR == FNR {a[k] = substr($0, 31, 24); "
    "next} k in a && /^(ATOM|HETATM)/ {n++; for (i = 0; i < 3; i++) {d = "
    "substr(a[k], 1 + 8 * i, 8) - substr($0, 31 + 8 * i, 8); if (d < 0) d = "
    "-d; if (d > m) m = d}} END {printf \"%d atoms compared, largest "
    "difference %.3f\\n\", n, m}' moved.pdb theirs.pdb";
// Many poses, one output file each; the subshell keeps exit from ending an
// interactive shell.
const std::string kPoseLoop =
    "( for matrix in poses/*.mat; do\n"
    "    out=${matrix%.mat}.pdb\n"
    "    decompress-zaduride \"$matrix\" receptor.pdb > \"$out\" || { rm -f "
    "\"$out\"; exit 1; }\n"
    "  done )";
const std::string kPoseXargs =
    "printf '%s\\n' poses/*.mat | xargs -P 4 -I {} sh -c "
    "'out=${1%.mat}.pdb\n"
    "    decompress-zaduride \"$1\" receptor.pdb > \"$out\" || { rm -f "
    "\"$out\"; exit 1; }' sh {}";

const Recipe kRecipes[] = {
    {"TM-align 20190822 (Debian), -m", "tm.mat",
     " -------- Rotation matrix to rotate Chain_1 to Chain_2 ------\n"
     " m          t(m)         u(m,1)         u(m,2)         u(m,3)\n"
     " 1     10.0000000000   0.3600000000   0.4800000000  -0.8000000000\n"
     " 2     -5.0000000000  -0.8000000000   0.6000000000   0.0000000000\n"
     " 3      2.5000000000   0.4800000000   0.6400000000   0.6000000000\n"
     " Code for rotating Chain_1 from (x,y,z) to (X,Y,Z):\n"
     "    do i=1,L\n"
     "      X(i)=t(1)+u(1,1)*x(i)+u(1,2)*y(i)+u(1,3)*z(i)\n"
     "      Y(i)=t(2)+u(2,1)*x(i)+u(2,2)*y(i)+u(2,3)*z(i)\n"
     "      Z(i)=t(3)+u(3,1)*x(i)+u(3,2)*y(i)+u(3,3)*z(i)\n"
     "    enddo\n",
     kTmAlignConversion},
    {"TM-align and US-align, newer releases, -m", "tm.mat",
     "------ The rotation matrix to rotate Structure_1 to Structure_2 ------\n"
     "m               t[m]        u[m][0]        u[m][1]        u[m][2]\n"
     "0      10.0000000000   0.3600000000   0.4800000000  -0.8000000000\n"
     "1      -5.0000000000  -0.8000000000   0.6000000000   0.0000000000\n"
     "2       2.5000000000   0.4800000000   0.6400000000   0.6000000000\n"
     "\n"
     "Code for rotating Structure_1 from (x,y,z) to (X,Y,Z):\n"
     "for(i=0; i<L; i++)\n"
     "{\n"
     "   X[i] = t[0] + u[0][0]*x[i] + u[0][1]*y[i] + u[0][2]*z[i];\n"
     "   Y[i] = t[1] + u[1][0]*x[i] + u[1][1]*y[i] + u[1][2]*z[i];\n"
     "   Z[i] = t[2] + u[2][0]*x[i] + u[2][1]*y[i] + u[2][2]*z[i];\n"
     "}\n",
     kTmAlignConversion},
    {"PyMOL, print(cmd.get_object_matrix(...))", "matrix.txt",
     "(0.36, 0.48, -0.8, 10.0, -0.8, 0.6, 0.0, -5.0, 0.48, 0.64, 0.6, 2.5, "
     "0.0, 0.0, 0.0, 1.0)\n",
     kFourByFourConversion},
    {"a 4x4 matrix written row by row", "matrix.txt",
     "0.36 0.48 -0.80 10.0\n"
     "-0.80 0.60 0.00 -5.0\n"
     "0.48 0.64 0.60 2.5\n"
     "0 0 0 1\n",
     kFourByFourConversion},
    // The same matrix for row vectors, x' = x·M: its transpose, the
    // translation in the bottom row, as numpy prints it.
    {"a 4x4 matrix for row vectors, as numpy prints it", "matrix.txt",
     "[[ 0.36 -0.8   0.48  0.  ]\n"
     " [ 0.48  0.6   0.64  0.  ]\n"
     " [-0.8   0.    0.6   0.  ]\n"
     " [10.   -5.    2.5   1.  ]]\n",
     kRowVectorConversion},
    {"ChimeraX, measure rotation", "chimera.txt",
     "Matrix rotation and translation\n"
     "   0.36000000   0.48000000  -0.80000000  10.00000000\n"
     "  -0.80000000   0.60000000   0.00000000  -5.00000000\n"
     "   0.48000000   0.64000000   0.60000000   2.50000000\n"
     "Axis  -0.40824829  -0.81649658   0.40824829\n"
     "Axis point   0.00000000   0.00000000   0.00000000\n"
     "Rotation angle (degrees) 66.42182152\n"
     "Shift along axis   1.11111111\n",
     kThreeByFourConversion},
    {"a 3x4 matrix, tab-indented rows under a heading", "chimera.txt",
     "Model 0.0\n"
     "\t0.36 0.48 -0.8 10\n"
     "\t-0.8 0.6 0 -5\n"
     "\t0.48 0.64 0.6 2.5\n",
     kThreeByFourConversion},
    // Superimposer.rotran gives rot = transpose(R), applied as x' = x·rot +
    // tran; the recipe writes the rows of transpose(rot) with numpy.savetxt.
    {"Biopython, numpy.savetxt of Superimposer.rotran", "pose.mat",
     "0.000000000000000000e+00 0.000000000000000000e+00 "
     "0.000000000000000000e+00\n"
     "1.000000000000000000e+01 -5.000000000000000000e+00 "
     "2.500000000000000000e+00\n"
     "3.599999999999999867e-01 4.799999999999999822e-01 "
     "-8.000000000000000444e-01\n"
     "-8.000000000000000444e-01 5.999999999999999778e-01 "
     "0.000000000000000000e+00\n"
     "4.799999999999999822e-01 6.400000000000000133e-01 "
     "5.999999999999999778e-01\n",
     "true"},
};

TEST_F(Recipes, MatricesOfOtherProgramsConvertedMoveAsTheyDo) {
  for (const Recipe& recipe : kRecipes) {
    SCOPED_TRACE(recipe.program);
    file(recipe.printout_file, recipe.printout);
    ASSERT_EQ(shell(recipe.convert), 0);
    const ToolRun r =
        run_tool({dir + "/pose.mat", file("coordinates", kRecords)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kMoved);
    shell("rm -f pose.mat");
  }
}

TEST_F(Recipes, DocumentsGiveTheTestedConversions) {
  const std::string source = EXAMPLES_DIR "/..";
  const std::string readme = read_file(source + "/README.md");
  const std::string manual = read_file(source + "/decompress-zaduride.1");
  const std::string ci_check = read_file(source + "/.ci/tm-align-check");
  for (const std::string& recipe :
       {kTmAlignConversion, kFourByFourConversion, kRowVectorConversion,
        kThreeByFourConversion, kBiopythonConversion, kCompressedEntryPipe,
        kLigandRename, kTmAlignTheirs, kCheckConversion, kPoseLoop,
        kPoseXargs}) {
    // Line by line, since the documents indent their blocks.
    std::istringstream lines(recipe);
    for (std::string line; std::getline(lines, line);) {
      SCOPED_TRACE(line);
      EXPECT_NE(readme.find(line), std::string::npos);
      // The manual page writes a backslash as \e.
      std::string in_roff;
      for (const char c : line) {
        in_roff += c;
        if (c == '\\') in_roff += 'e';
      }
      EXPECT_NE(manual.find(in_roff), std::string::npos);
    }
  }
  EXPECT_NE(ci_check.find(kTmAlignConversion), std::string::npos);
}

struct CentreCase {
  const char* what;
  std::string matrix;
  std::string records;
  std::string moved;
};

const CentreCase kCentreCases[] = {
    // 23.25 - 23.25 = 0, 37.200 - 37.2f = -7.6e-7, 16.880 - 16.88f = 8.4e-7:
    // x' = 10 - 1.0e-6, y' = -5 - 4.6e-7, z' = 2.5 + 2.0e-8.
    {"the example's centre lands on its translation",
     "23.25 37.20 16.88\n10.0 -5.0 2.5\n0.36 0.48 -0.80\n-0.80 0.60 0.00\n"
     "0.48 0.64 0.60\n",
     record("  23.250  37.200  16.880"), record("  10.000  -5.000   2.500")},
    // A quarter turn about the z axis through p = (5, 5, 5), centre p and
    // translation p: p stays; (6, 5, 5) - p = (1, 0, 0) turns to (0, 1, 0),
    // plus p (5, 6, 5); (5, 7, 8) - p = (0, 2, 3) turns to (-2, 0, 3), plus p
    // (3, 5, 8).
    {"centre p and translation p rotate about p",
     "5 5 5\n5 5 5\n0 -1 0\n1 0 0\n0 0 1\n",
     record("   5.000   5.000   5.000") + record("   6.000   5.000   5.000") +
         record("   5.000   7.000   8.000"),
     record("   5.000   5.000   5.000") + record("   5.000   6.000   5.000") +
         record("   3.000   5.000   8.000")},
    // A pivot on line 1 and a shift on line 2 do not shift: (6, 5, 5) - (5,
    // 5, 5) + (1, 0, 0) is (2, 0, 0), not (7, 5, 5).
    {"the centre is not added back", "5 5 5\n1 0 0\n1 0 0\n0 1 0\n0 0 1\n",
     record("   6.000   5.000   5.000"), record("   2.000   0.000   0.000")},
    // Centre 0 0 0: x' = R·x + t; the quarter turn takes (1, 0, 0) to
    // (0, 1, 0), plus (1, 2, 3) is (1, 3, 3).
    {"centre 0 0 0 gives R x + t", "0 0 0\n1 2 3\n0 -1 0\n1 0 0\n0 0 1\n",
     record("   1.000   0.000   0.000"), record("   1.000   3.000   3.000")},
};

TEST_F(Recipes, CentreIsSubtractedAndNotAddedBack) {
  for (const CentreCase& c : kCentreCases) {
    SCOPED_TRACE(c.what);
    const ToolRun r =
        run_tool({file("matrix", c.matrix), file("coordinates", c.records)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.moved);
  }
}

TEST_F(Recipes, ModelsOfAnEnsembleFollowOneAnother) {
  // MODEL and ENDMDL are dropped like every record but ATOM; a HETATM
  // ligand comes out empty.
  const ToolRun r = run_tool(
      {file("matrix", "0 0 0\n1 2 3\n1 0 0\n0 1 0\n0 0 1\n"),
       file("ensemble.pdb",
            "MODEL        1\n" + record("   1.000   1.000   1.000") +
                "HETATM    2  C1  LIG A   2       0.000   0.000   0.000\n"
                "ENDMDL\nMODEL        2\n" +
                record("   1.500   1.000   1.000") + "ENDMDL\nEND\n")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // (1, 1, 1) + (1, 2, 3) and (1.5, 1, 1) + (1, 2, 3).
  EXPECT_EQ(r.out, record("   2.000   3.000   4.000") +
                       record("   2.500   3.000   4.000"));
}

TEST_F(Recipes, CompressedEntryThroughAPipe) {
  file("pose.mat",
       "0 0 0\n10.0 -5.0 2.5\n0.36 0.48 -0.80\n-0.80 0.60 0.00\n"
       "0.48 0.64 0.60\n");
  file("pdb1abc.ent", "HEADER    TEST\n" + kRecords + "END\n");
  ASSERT_EQ(shell("gzip -9n pdb1abc.ent"), 0);
  std::string tool;
  for (const std::string& word : tool_command()) tool += word + " ";
  // As the documents give it; the pipe's status is the tool's.
  std::string pipe = kCompressedEntryPipe;
  pipe.replace(pipe.find("decompress-zaduride"), 19, tool);
  EXPECT_EQ(shell(pipe + " 2> err"), 0);
  EXPECT_EQ(read_file(dir + "/moved.pdb"), kMoved);
  EXPECT_EQ(read_file(dir + "/err"), "");
}

// A record of residue `residue` whose coordinate fields are `fields`.
std::string residue_record(const std::string& name, int residue,
                           const std::string& fields) {
  return name + "    " + std::to_string(residue) + "  CA  GLY A   " +
         std::to_string(residue) + "    " + fields + kTail;
}

struct LigandCase {
  const char* what;
  std::string matrix;
  std::string complex;
  std::string moved;
};

// Every line of `pdb` that begins with ATOM or HETATM, in order.
std::string atom_and_hetatm_lines(const std::string& pdb) {
  std::string kept;
  std::istringstream lines(pdb);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("ATOM", 0) == 0 || line.rfind("HETATM", 0) == 0)
      kept += line + "\n";
  return kept;
}

TEST_F(Recipes, LigandsRenamedMoveWithTheRest) {
  const std::string entry = read_file(TEST_DATA_DIR "/7ddo_ligands.pdb");
  // What the output of an mmCIF file keeps before its rows.
  const std::string kCifHeader =
      "data_complex\nloop_\n_atom_site.group_PDB\n_atom_site.id\n"
      "_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n";
  const LigandCase cases[] = {
      // The identity leaves every byte of the kept records as it was: ATOM
      // and HETATM records come out in input order, nothing else.
      {"a real entry's ligands by the identity",
       "0 0 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n", entry,
       atom_and_hetatm_lines(entry)},
      // The worked example's matrix: a HETATM record moves as the ATOM
      // record with the same fields does, (-2, 0.5, 4) to (6.32, -3.10,
      // 4.26), and keeps its name; TER and CONECT are dropped.
      {"the worked example's transformation",
       "0 0 0\n10.0 -5.0 2.5\n0.36 0.48 -0.80\n-0.80 0.60 0.00\n"
       "0.48 0.64 0.60\n",
       residue_record("ATOM  ", 1, "   1.000   2.000   3.000") + "TER\n" +
           residue_record("HETATM", 2, "  -2.000   0.500   4.000") +
           "CONECT    2    1\nEND\n",
       residue_record("ATOM  ", 1, "   8.920  -4.600   6.060") +
           residue_record("HETATM", 2, "   6.320  -3.100   4.260")},
      // The same line on an mmCIF file whose rows begin with group_PDB, as
      // the archive's do: the same moves, -2.000 padded to its width,
      // -4.600 and -3.100 each taking one of the two blanks after them; the
      // cell after the loop is dropped.
      {"an mmCIF file",
       "0 0 0\n10.0 -5.0 2.5\n0.36 0.48 -0.80\n"
       "-0.80 0.60 0.00\n0.48 0.64 0.60\n",
       kCifHeader + "ATOM   1 1.000  2.000  3.000\n"
                    "HETATM 2 -2.000 0.500  4.000\n#\n_cell.length_a 10\n",
       kCifHeader + "ATOM   1 8.920  -4.600 6.060\n"
                    "HETATM 2 6.320  -3.100 4.260\n"},
  };
  for (const LigandCase& c : cases) {
    SCOPED_TRACE(c.what);
    file("pose.mat", c.matrix);
    file("complex.pdb", c.complex);
    EXPECT_EQ(shell(kLigandRename + " 2> err"), 0);
    EXPECT_EQ(read_file(dir + "/moved.pdb"), c.moved);
    EXPECT_EQ(read_file(dir + "/err"), "");
  }
}

TEST_F(Recipes, CheckTellsTheRightConversionFromItsTranspose) {
  // Three atoms and, as a program writes its own superposition, the same
  // atoms moved by the worked example (one field 0.001 off, as a program
  // that rounds to single precision writes it), and a water of its own.
  file("mobile.pdb",
       residue_record("ATOM  ", 1, "   1.000   2.000   3.000") +
           residue_record("ATOM  ", 2, "  -2.000   0.500   4.000") +
           residue_record("ATOM  ", 3, "  10.000 -10.000   0.000"));
  // As TM-align writes them, with structure 2 after TER; its atoms have the
  // same names and residues, far from the others.
  file("sup_all_atm.pdb",
       "REMARK    moved by another program\n" +
           residue_record("ATOM  ", 1, "   8.921  -4.600   6.060") +
           residue_record("ATOM  ", 2, "   6.320  -3.100   4.260") +
           residue_record("ATOM  ", 3, "   8.800 -19.000   0.900") +
           "HETATM    4  O   HOH A   4       0.000   0.000   0.000\nTER\n" +
           residue_record("ATOM  ", 1, " 100.000 100.000 100.000") + "END\n");
  const struct {
    const char* what;
    const char* matrix;
    const char* report;
  } cases[] = {
      // Largest difference: 8.921 - 8.920.
      {"the right conversion",
       "0 0 0\n10 -5 2.5\n0.36 0.48 -0.80\n-0.80 0.60 0.00\n0.48 0.64 0.60\n",
       "3 atoms compared, largest difference 0.001\n"},
      // The transpose moves (10, -10, 0) to (3.60 + 8.00 + 0 + 10,
      // 4.80 - 6.00 + 0 - 5, -8.00 + 0 + 0 + 2.5) = (21.6, -6.2, -5.5):
      // 21.6 - 8.8 = 12.8 and -6.2 + 19 = 12.8; every other field less.
      {"its transpose",
       "0 0 0\n10 -5 2.5\n0.36 -0.80 0.48\n0.48 0.60 0.64\n-0.80 0.00 0.60\n",
       "3 atoms compared, largest difference 12.800\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    file("pose.mat", c.matrix);
    EXPECT_EQ(
        shell(kTmAlignTheirs + " && {\n" + kCheckConversion + "\n} > report"),
        0);
    EXPECT_EQ(read_file(dir + "/report"), c.report);
  }
}

TEST_F(Recipes, ManyPosesOneFileEach) {
  const struct {
    const char* what;
    std::string command;
    bool with_bad_pose;
    int status;
  } cases[] = {
      {"the loop", kPoseLoop, false, 0},
      // The loop stops at the bad pose and leaves no file for it.
      {"the loop, a bad pose last", kPoseLoop, true, 1},
      {"xargs", kPoseXargs, false, 0},
      // xargs runs every pose, waits for them all, and exits 123 when one
      // of them failed.
      {"xargs, a bad pose last", kPoseXargs, true, 123},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(shell("rm -rf poses && mkdir poses"), 0);
    file("receptor.pdb", kRecords);
    file("poses/a.mat",
         "0 0 0\n10.0 -5.0 2.5\n0.36 0.48 -0.80\n-0.80 0.60 0.00\n"
         "0.48 0.64 0.60\n");
    file("poses/b.mat", "0 0 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n");
    // Four lines: a reading error.
    if (c.with_bad_pose) file("poses/z.mat", "0 0 0\n0 0 0\n1 0 0\n0 1 0\n");
    EXPECT_EQ(shell("{\n" + c.command + "\n} 2> err"), c.status);
    EXPECT_EQ(read_file(dir + "/poses/a.pdb"), kMoved);
    EXPECT_EQ(read_file(dir + "/poses/b.pdb"), kRecords);
    EXPECT_EQ(shell("test -e poses/z.pdb"), 1);
  }
}

}  // namespace
