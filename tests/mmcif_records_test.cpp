// The mmCIF path, read from a file, moved and written in-process: what each
// lexical shape gives, and what is refused.
#include "mmcif_records.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "atom_records.h"
#include "file_bytes.h"
#include "temp_dir_test.h"
#include "transformation.h"
#include "written_records.h"

namespace {

const std::string kLoop =
    "loop_\n"
    "_atom_site.group_PDB\n"
    "_atom_site.label_atom_id\n"
    "_atom_site.Cartn_x\n"
    "_atom_site.Cartn_y\n"
    "_atom_site.Cartn_z\n";

// A loop with x before the atom's name.
const std::string kXFirstLoop =
    "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n"
    "_atom_site.label_atom_id\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n";

// A loop with the atom's name last.
const std::string kNameLastLoop =
    "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
    "_atom_site.Cartn_z\n_atom_site.label_atom_id\n";

// A loop of no interest, long enough that every row before it is read
// whole blocks at a time.
const std::string kPadding =
    "loop_\n_other.value\n" + std::string(250, 'v') + "\n";

// 1 in 130 bytes, and 1 + 1 written in its place.
const std::string kLongX = "1." + std::string(128, '0');
const std::string kLongXMoved = "2.000" + std::string(125, ' ');

// count copies of text, one after another.
std::string repeated(const std::string& text, size_t count) {
  std::string copies;
  for (size_t i = 0; i < count; ++i) copies += text;
  return copies;
}

// An atom record whose atom name is length bytes of c, then its values.
std::string long_row(size_t length, char c, const std::string& values) {
  return "ATOM " + std::string(length, c) + " " + values + "\n";
}

class MmcifFile : public TempDirTest {
 protected:
  void TearDown() override {
    release();
    TempDirTest::TearDown();
  }
  void release() {
    release_array(atoms);
    release_lines(texts);
    release_mmcif_layout(layout);
    release_coordinate_texts();
  }
  int read_text(const std::string& text) {
    return read_atom_records(file("coordinates.cif", text).c_str(), atoms,
                             texts, layout);
  }
  // The records moved by the translation and the identity rotation, as
  // written.
  std::string moved(const float (&translation)[3]) {
    const float centre[3] = {0, 0, 0};
    const float matrix[4][3] = {
        {translation[0], translation[1], translation[2]},
        {1, 0, 0},
        {0, 1, 0},
        {0, 0, 1}};
    apply_transformation(centre, matrix, items(atoms));
    return written_records(items(atoms), texts, layout);
  }
  GrowableArray<Coor3f> atoms;
  RecordLines texts;
  MmcifLayout layout;
};

TEST_F(MmcifFile, MovesTheValuesOfEachShapeAndKeepsEveryOtherByte) {
  struct Case {
    const char* shape;
    std::string in, out;
    float translation[3] = {1, 2, 3};
  };
  const Case cases[] = {
      {"quoted values end at their quote before white space",
       "data_q\n" + kLoop +
           "ATOM \"O5'\" 1.000 2.000 3.000\n"
           "ATOM 'C1 #x' 4.000 5.000 6.000\n"
           "ATOM 'a'b' 0.500 0.250 0.125\n",
       "data_q\n" + kLoop +
           "ATOM \"O5'\" 2.000 4.000 6.000\n"
           "ATOM 'C1 #x' 5.000 7.000 9.000\n"
           "ATOM 'a'b' 1.500 2.250 3.125\n"},
      {"a text field's ATOM lines are one value, not rows",
       "data_t\n_struct.title\n;\nATOM   1  N   GLN A   3      12.772  "
       "36.309   7.065\n;\n" +
           kLoop +
           "ATOM\n;ATOM N 9.000 9.000 9.000\nATOM\n;\n1.000 2.000 3.000\n",
       "data_t\n" + kLoop +
           "ATOM\n;ATOM N 9.000 9.000 9.000\nATOM\n;\n2.000 4.000 6.000\n"},
      {"comments between rows go with the row before",
       "data_c\n" + kLoop +
           "# first\nATOM N 1.000 2.000 3.000 # after\n# between\n\n"
           "ATOM C 4.000 5.000 6.000\n# last\n",
       "data_c\n" + kLoop +
           "ATOM N 2.000 4.000 6.000 # after\n# between\n\n"
           "ATOM C 5.000 7.000 9.000\n"},
      // z, y and x side by side: each value's word must not write over
      // the one after it.
      {"tags in any order and case, and other columns between",
       "DATA_U\nLOOP_\n_ATOM_SITE.CARTN_Z\n_atom_site.id\n_Atom_Site.Cartn_X\n"
       "_atom_site.GROUP_pdb\n_atom_site.cartn_Y\n3.000 1 1.000 ATOM 2.000\n"
       "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_z\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_x\nATOM 1.000 2.000 3.000\n",
       "DATA_U\nLOOP_\n_ATOM_SITE.CARTN_Z\n_atom_site.id\n_Atom_Site.Cartn_X\n"
       "_atom_site.GROUP_pdb\n_atom_site.cartn_Y\n6.000 1 2.000 ATOM 4.000\n"
       "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_z\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_x\nATOM 4.000 4.000 4.000\n"},
      {"a row over three lines, and a row after it on its last",
       "data_s\n" + kLoop +
           "ATOM N\n1.000 2.000\n3.000 ATOM C 4.000\n5.000 6.000\n",
       "data_s\n" + kLoop +
           "ATOM N\n2.000 4.000\n6.000 ATOM C 5.000\n7.000 9.000\n"},
      {"each block and loop of atom records gives its data_ line and header",
       "data_one\n" + kLoop + "ATOM N 1.000 2.000 3.000\n" +
           "data_none\n_cell.length_a 10\n" + "data_het\n" + kLoop +
           "HETATM O 1.000 2.000 3.000\n" +
           "data_two # second\nloop_\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
           "_atom_site.Cartn_z\n_atom_site.group_PDB\n4.000 5.000 6.000 "
           "ATOM\n" +
           kLoop + "ATOM S 0.000 0.000 0.000\n",
       "data_one\n" + kLoop + "ATOM N 2.000 4.000 6.000\n" +
           "data_two # second\nloop_\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
           "_atom_site.Cartn_z\n_atom_site.group_PDB\n5.000 7.000 9.000 "
           "ATOM\n" +
           kLoop + "ATOM S 1.000 2.000 3.000\n"},
      {"unknown uncertainties of x, y and z pass, as older archive files "
       "have them",
       "data_e\nloop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n"
       "_atom_site.Cartn_x_esd\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
       "ATOM 1.000 ? 2.000 3.000\nHETATM 1.000 0.5 2.000 3.000\n",
       "data_e\nloop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n"
       "_atom_site.Cartn_x_esd\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
       "ATOM 2.000 ? 4.000 6.000\n"},
      {"an _atom_site loop without rows gives nothing",
       "data_e\n" + kLoop + "#\nloop_\n_other.value\n1\n" + kLoop, ""},
      {"a file without data_ gives none",
       "# no block\n" + kLoop + "ATOM N 1.000 2.000 3.000\n",
       kLoop + "ATOM N 2.000 4.000 6.000\n"},
      {"CR LF lines",
       "data_w\r\nloop_\r\n_atom_site.group_PDB\r\n_atom_site.Cartn_x\r\n"
       "_atom_site.Cartn_y\r\n_atom_site.Cartn_z\r\nATOM 1.000 2.000 3\r\n"
       "ATOM 4.000 5.000 6.000\r\n",
       "data_w\r\nloop_\r\n_atom_site.group_PDB\r\n_atom_site.Cartn_x\r\n"
       "_atom_site.Cartn_y\r\n_atom_site.Cartn_z\r\nATOM 2.000 4.000 6.000\r\n"
       "ATOM 5.000 7.000 9.000\r\n"},
      // A longer value takes only blanks, so the row grows here.
      {"tabs", "data_t\n" + kLoop + "ATOM\tN\t1.000\t2\t\t3.000\n",
       "data_t\n" + kLoop + "ATOM\tN\t2.000\t4.000\t\t6.000\n"},
      // The carriage return before a row goes with the row before it.
      {"rows with x, y and z all unknown pass through",
       "data_u\n" + kLoop +
           "ATOM N ? ? ?\n\rATOM C . . .\nATOM O ? . ?\nATOM S 1.000 2.000 "
           "3.000\n",
       "data_u\n" + kLoop +
           "ATOM N ? ? ?\n\rATOM C . . .\nATOM O ? . ?\nATOM S 2.000 4.000 "
           "6.000\n"},
      {"without group_PDB every row is an atom record",
       "data_g\nloop_\n_atom_site.id\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_z\n1 1.000 2.000 3.000\n2 4.000 5.000 6.000\n",
       "data_g\nloop_\n_atom_site.id\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_z\n1 2.000 4.000 6.000\n2 5.000 7.000 9.000\n"},
      // Rows that are not atom records are dropped unread.
      {"only rows whose group_PDB begins with ATOM",
       "data_h\n" + kLoop +
           "HETATM O abc ? 3.000\nATOMHT C 1.000 2.000 3.000\n"
           "atom N 1.000 2.000 3.000\n'ATOM' N 4.000 5.000 6.000\n",
       "data_h\n" + kLoop +
           "ATOMHT C 2.000 4.000 6.000\n'ATOM' N 5.000 7.000 9.000\n"},
      // 1 to 2.000 needs 4 more bytes: of 6 blanks it takes 4; of 3 blanks
      // 2, and the row grows by 2; at the line's end the row grows.
      // 123456.5 + 1 is 123457.500, -99999.25 + 2 is -99997.250, 1e5 + 3
      // is 100003.000. -101.0 + 1 is -100.000, 2 bytes longer: of 2
      // blanks it takes 1.
      {"a longer value takes blanks after it, keeping one, never a newline",
       "data_l\n" + kLoop +
           "ATOM N 1      2   3\nATOM C 1\n  2.000 3.000\n"
           "ATOM O 123456.5 -99999.25 1e5\nATOM S -101.0  2.000 3.000\n" +
           kXFirstLoop + "ATOM 1.0 X 2.000 3.000\n",
       "data_l\n" + kLoop +
           "ATOM N 2.000  4.000 6.000\nATOM C 2.000\n  4.000 6.000\n"
           "ATOM O 123457.500 -99997.250 100003.000\n"
           "ATOM S -100.000 4.000 6.000\n" +
           kXFirstLoop + "ATOM 2.000 X 4.000 6.000\n"},
      // -1.0004 + 1 is -0.0004 (to within a double), written -0.000.
      {"a shorter value is padded with blanks to the old width",
       "data_p\n" + kLoop +
           "ATOM N 1.00000 2.0000000 -3.00000\nATOM C 1.5e0 2.0E+00 -3.000\n"
           "ATOM O -1.0004 -2.0 -3.0\n",
       "data_p\n" + kLoop +
           "ATOM N 2.000   4.000     0.000   \nATOM C 2.500 4.000   0.000 \n"
           "ATOM O -0.000  0.000 0.000\n"},
      // 1 * -0 + 0 * y + 0 * z + 0 is +0, as in the fixed-column path.
      {"-0 under the identity is 0.000",
       "data_z\n" + kLoop + "ATOM N -0.000 -0.0 0\n",
       "data_z\n" + kLoop + "ATOM N 0.000  0.000 0.000\n",
       {0, 0, 0}},
      // Dropped rows leave a value that begins with ';' at a line's start
      // and a text field off one: each is written as it reads in the text.
      {"a row that begins with ';' stays on or off a line's start",
       "data_f\nloop_\n_atom_site.label_atom_id\n_atom_site.group_PDB\n"
       "_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
       "a HETATM 1 2 3 ;b ATOM 1.000 2.000 3.000 c HETATM 1 2 3\n"
       ";c\n;\nATOM 1.000 2.000 3.000\n",
       "data_f\nloop_\n_atom_site.label_atom_id\n_atom_site.group_PDB\n"
       "_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
       " ;b ATOM 2.000 4.000 6.000 \n;c\n;\nATOM 2.000 4.000 6.000\n"},
      // Rows of one length whose values start where the row before's do;
      // widths differ. 1.0 + 1 takes 2 of 3 blanks; 10.00 + 1 is 11.000,
      // which has no blank to spare; a row longer than the shape (3.000123
      // + 3 is 6.000, padded) reads its own z; a quote and a '#' inside a
      // value open nothing. The loop_ row ends the loop, and the row after
      // it is a value of the next.
      {"aligned rows, and rows of the same shape that are not rows",
       "data_a\n" + kLoop +
           "ATOMXY N 1.0   2.000 3.000\nATOMXY C 1.000 2.000 3.000\n"
           "ATOM'# C 1.000 2.000 3.000\n"
           "ATOMXY O 1.5   -2.00 3.000\nHETATM S 1.000 2.000 3.000\n"
           "ATOMXY C 1.000 2.000 3.000123\n"
           "ATOMXY N 10.00 2.000 3.000\nloop_  _ 7.000 8.000 9.000\n"
           "ATOMXY N 1.000 2.000 3.000\n" +
           kPadding,
       "data_a\n" + kLoop +
           "ATOMXY N 2.000 4.000 6.000\nATOMXY C 2.000 4.000 6.000\n"
           "ATOM'# C 2.000 4.000 6.000\n"
           "ATOMXY O 2.500 0.000 6.000\nATOMXY C 2.000 4.000 6.000   \n"
           "ATOMXY N 11.000 4.000 6.000\n"},
      // x starts at 76, then at 126, across a 64-byte block's end; in the
      // third row z starts a byte early, in the second block. 2.00 + 2
      // finds one blank after it, and -3.000 + 3 is 0.000. A 130-byte x
      // fills the second block of its rows whole.
      {"aligned rows longer than 64 and 128 bytes",
       kLoop + long_row(70, 'N', "1.000 2.000 3.000") +
           long_row(70, 'C', "4.5   5.000 6.000") +
           long_row(70, 'N', "1.000 2.00 -3.000") +
           long_row(120, 'N', "1.000 2.000 3.000") +
           long_row(120, 'O', "7.250 8.000 9.000") +
           long_row(1, 'N', kLongX + " 2.000 3.000") +
           long_row(1, 'C', kLongX + " 2.000 3.000") +
           long_row(1, 'O', kLongX + " 2.000 3.000") + kPadding,
       kLoop + long_row(70, 'N', "2.000 4.000 6.000") +
           long_row(70, 'C', "5.500 7.000 9.000") +
           long_row(70, 'N', "2.000 4.000 0.000 ") +
           long_row(120, 'N', "2.000 4.000 6.000") +
           long_row(120, 'O', "8.250 10.000 12.000") +
           long_row(1, 'N', kLongXMoved + " 4.000 6.000") +
           long_row(1, 'C', kLongXMoved + " 4.000 6.000") +
           long_row(1, 'O', kLongXMoved + " 4.000 6.000")},
      // Rows of one shape, each value's room its blanks but one: 8 bytes
      // for 9.500 and 4 blanks, where 9.5 + 1 is 10.500 and 2 stay blank;
      // 6 for 9.500 and 2 blanks. A tab after 9.500 in a row of the first
      // shape leaves it no room: the row grows by 1. A z with one blank
      // before the carriage return has none either: 7.5 + 3 grows the row
      // by 1.
      {"rows of one shape: only blanks are room, not tabs or a line's end",
       kLoop +
           "ATOM N 9.500    2.000    3.000    \r\n"
           "ATOM C 9.500    2.000    3.000    \r\n"
           "ATOM O 9.500    2.000    3.000    \r\n"
           "ATOM T 9.500\t   2.000    3.000    \r\n"
           "ATOM N 9.500  2.000  3.000  \r\nATOM C 9.500  2.000  3.000  \r\n"
           "ATOM O 9.500  2.000  3.000  \r\nATOM N 1.000 2.000 7.500 \r\n"
           "ATOM C 1.000 2.000 7.500 \r\nATOM O 1.000 2.000 7.500 \r\n" +
           kPadding,
       kLoop +
           "ATOM N 10.500   4.000    6.000    \r\n"
           "ATOM C 10.500   4.000    6.000    \r\n"
           "ATOM O 10.500   4.000    6.000    \r\n"
           "ATOM T 10.500\t   4.000    6.000    \r\n"
           "ATOM N 10.500 4.000  6.000  \r\nATOM C 10.500 4.000  6.000  \r\n"
           "ATOM O 10.500 4.000  6.000  \r\nATOM N 2.000 4.000 10.500 \r\n"
           "ATOM C 2.000 4.000 10.500 \r\nATOM O 2.000 4.000 10.500 \r\n"},
      // z, y and x in that order, each with room for eight bytes: 3 + 3,
      // 2 + 2 and 9.5 + 1.
      {"values in another order, each with room for eight bytes",
       "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_z\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_x\nATOM 3.000    2.000    9.500    \n"
       "ATOM 3.000    2.000    9.500    \n",
       "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_z\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_x\nATOM 6.000    4.000    10.500   \n"
       "ATOM 6.000    4.000    10.500   \n"},
      // A newline where the rows before had their carriage return ends
      // the loop's last row: the blank line after it is no part of it.
      {"a blank line after rows that ended with carriage returns",
       "data_b\n" + kNameLastLoop +
           "ATOM 1.000 2.000 3.000 N\r\nATOM 1.000 2.000 3.000 N\r\n"
           "ATOM 1.000 2.000 3.000 C\n\n" +
           kPadding,
       "data_b\n" + kNameLastLoop +
           "ATOM 2.000 4.000 6.000 N\r\nATOM 2.000 4.000 6.000 N\r\n"
           "ATOM 2.000 4.000 6.000 C\n"},
      // Where the row before had its newline, a '#' or '_' inside a value
      // ends nothing: the row runs on to its own newline.
      {"a row that runs on past the length of the rows before it",
       "data_e\n" + kNameLastLoop + "ATOM 1.000 2.000 3.000 N\n" +
           "ATOM 1.000 2.000 3.000 N\nATOM 1.000 2.000 3.000 N#_x\n"
           "ATOM 1.000 2.000 3.000 C\nATOM 1.000 2.000 3.000 N_'q\n"
           "ATOM 1.000 2.000 3.000 O\n" +
           kPadding,
       "data_e\n" + kNameLastLoop + "ATOM 2.000 4.000 6.000 N\n" +
           "ATOM 2.000 4.000 6.000 N\nATOM 2.000 4.000 6.000 N#_x\n"
           "ATOM 2.000 4.000 6.000 C\nATOM 2.000 4.000 6.000 N_'q\n"
           "ATOM 2.000 4.000 6.000 O\n"},
      // A carriage return before a row's first value on its line, and what
      // follows it there, go with the row before (and are dropped with the
      // rows that are not atom records), even after a row of the same
      // shape.
      {"a carriage return that begins a line goes with the row before",
       "data_r\n" + kLoop +
           "HETATM O 1 2 3\n\rATOM N 1 2 3\nATOM C 1.000 2.000 3.000\n"
           "\rHETATM O 1 2 3\n  HETA C 1.000 2.000 3.000\n"
           "\r ATOM C 1.000 2.000 3.000\n" +
           kPadding,
       "data_r\n" + kLoop +
           "ATOM N 2.000 4.000 6.000\nATOM C 2.000 4.000 6.000\n\r"
           "ATOM C 2.000 4.000 6.000\n"},
      // No place for x, y and z to be found in: rows of one shape pass by.
      {"rows of one shape in a loop without coordinates",
       "data_n\nloop_\n_atom_site.group_PDB\n_atom_site.id\n"
       "HETATM 1\nHETATM 2\nHETATM 3\nHETATM 4\n" +
           kPadding,
       ""},
      // More atom records than the arrays first have room for, and two
      // with 74,000 bytes of other rows between them.
      {"many atom records of one shape, two of them far apart",
       "data_f\n" + kLoop +
           repeated("ATOM   N 1.000    2.000    3.000    \n", 300) +
           repeated("HETATM O 1.000    2.000    3.000    \n", 2000) +
           repeated("ATOM   C 1.000    2.000    3.000    \n", 2) + kPadding,
       "data_f\n" + kLoop +
           repeated("ATOM   N 2.000    4.000    6.000    \n", 300) +
           repeated("ATOM   C 2.000    4.000    6.000    \n", 2)},
      // 1.0006 where the rows before had 1.000: not a number of their
      // length, nor of the usual shape.
      {"a number longer than the one before it in rows of one shape",
       "data_l\n" + kLoop +
           repeated("ATOM N 1.000    2.000    3.000    \n", 4) +
           "ATOM N 1.0006   2.000    3.000    \n" +
           repeated("ATOM N 1.000    2.000    3.000    \n", 2) + kPadding,
       "data_l\n" + kLoop +
           repeated("ATOM N 2.000    4.000    6.000    \n", 4) +
           "ATOM N 2.001    4.000    6.000    \n" +
           repeated("ATOM N 2.000    4.000    6.000    \n", 2)},
      // The rows of both loops have the same places: the second header
      // stands inside their run.
      {"two blocks whose rows have the same places",
       "data_a\n" + kLoop + repeated("ATOM N 1.000 2.000 3.000\n", 2) +
           "data_b\n" + kLoop + repeated("ATOM N 1.000 2.000 3.000\n", 2),
       "data_a\n" + kLoop + repeated("ATOM N 2.000 4.000 6.000\n", 2) +
           "data_b\n" + kLoop + repeated("ATOM N 2.000 4.000 6.000\n", 2)},
      {"a row longer than 2048 bytes is kept whole",
       kLoop + "ATOM " + std::string(3000, 'N') + " 1.000 2.000 3.000\n",
       kLoop + "ATOM " + std::string(3000, 'N') + " 2.000 4.000 6.000\n"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(read_text(c.in), 0) << c.shape;
    EXPECT_EQ(moved(c.translation), c.out) << c.shape;
    release();
  }
}

TEST_F(MmcifFile, RefusalsKeepNothing) {
  // A block with an atom record first (8 lines), so that what was read
  // before the refusal is there to be dropped.
  const std::string good = "data_ok\n" + kLoop + "ATOM N 1.000 2.000 3.000\n";
  struct Case {
    std::string text;
    std::string reason;
  };
  const Case cases[] = {
      {"#\\#CIF_2.0\n" + good, "line 1: CIF 2.0 files are not read"},
      {"\x1f\x8b" + good,
       "compressed with gzip; read it with zcat FILE | decompress-zaduride "
       "MATRIX /dev/stdin"},
      {good + "ATOM 'O5 1.000 2.000 3.000\n",
       "line 9: unterminated quoted value"},
      {good + "_struct.title\n;\nno end\n", "line 10: unterminated text field"},
      {good + "_atom_site.Cartn_x 1.000\n",
       "line 9: _atom_site items outside a loop are not read"},
      {good + "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n"
              "_atom_site.Cartn_y\n_atom_site.fract_z\nHETATM 1 2 0.5\n"
              "ATOM 1 2 0.5\n",
       "line 9: _atom_site loop of atom records without all of Cartn_x, "
       "Cartn_y and Cartn_z"},
      {good + "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n"
              "_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
              "_atom_site.aniso_U[1][1]\nATOM 1 2 3 0.5\n",
       "line 15: value that the move would make wrong, of "
       "_atom_site.aniso_U[1][1]"},
      {good + "loop_\n_atom_site.group_PDB\n_atom_site.Cartn_x\n"
              "_atom_site.CARTN_X_ESD\n_atom_site.Cartn_y\n"
              "_atom_site.Cartn_z\nATOM 1 0.1 2 3\n",
       "line 15: value that the move would make wrong, of "
       "_atom_site.CARTN_X_ESD"},
      {good + "ATOM N 1.000 -1e400 3.000\n",
       "line 9: coordinate value is out of range: -1e400"},
      {good + "ATOM N '1.000' 2.000 3.000\n",
       "line 9: coordinate value is quoted: '1.000'"},
      {good + "ATOM N 1.000\n;2.000\n;\n3.000\n",
       "line 10: coordinate value is a text field"},
      {good + "ATOM N 12.345(3) 2.000 3.000\n",
       "line 9: coordinate value has a standard uncertainty: 12.345(3)"},
      {good + "ATOM N 1.000 2.000 nan\n",
       "line 9: coordinate value is not a number: nan"},
      // In a run of rows of one shape, a number followed by a byte below
      // '!' that is no white space is not a number.
      {good +
           "ATOM N 1.000  2.000 3.000\nATOM N 1.000  2.000 3.000\n"
           "ATOM N 1.000\v 2.000 3.000\n" +
           kPadding,
       "line 11: coordinate value is not a number: 1.000\v"},
      // Nor where the rows before had a carriage return.
      {good +
           "ATOM N 1.000 2.000 3.000\r\nATOM N 1.000 2.000 3.000\r\n"
           "ATOM N 1.000 2.000 3.000\f\n" +
           kPadding,
       "line 11: coordinate value is not a number: 3.000\f"},
      // Of a long value the first 40 bytes are shown.
      {good + "ATOM N 1.000 2.000\n" + std::string(50, '9') + "x\n",
       "line 10: coordinate value is not a number: " + std::string(40, '9')},
      {good + "ATOM N\n1.000 ? 3.000\n",
       "line 9: some but not all of x, y and z are unknown"},
      {good + "ATOM N 1.000\n2.000\n",
       "line 10: _atom_site loop ends inside a row"},
      {good + "ATOM N 1.000\n2.000\ndata_next\n",
       "line 10: _atom_site loop ends inside a row"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_text(c.text), kRefused) << c.reason;
    EXPECT_EQ(coordinate_file_error(kRefused), c.reason);
    EXPECT_EQ(atoms.size, 0u) << c.reason;
    EXPECT_EQ(line_count(texts), 0u) << c.reason;
    EXPECT_EQ(layout.rows.size, 0u) << c.reason;
    EXPECT_EQ(layout.headers.size, 0u) << c.reason;
    EXPECT_EQ(moved({0, 0, 0}), "") << c.reason;
    release();
  }
}

}  // namespace
