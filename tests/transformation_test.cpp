#include "transformation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "run_tool.h"

namespace {

// Reads a matrix file holding the given text; the messages of a failure go
// to the test's own output and are checked by the whole-program tests.
bool read_matrix_text(const std::string& text, float centre[3],
                      float matrix[4][3]) {
  const std::string dir = make_temp_dir();
  const std::string path = dir + "/matrix";
  write_file(path, text);
  const bool ok = read_matrix_file(path.c_str(), centre, matrix);
  remove(path.c_str());
  remove(dir.c_str());
  return ok;
}

TEST(ReadMatrixFile, ReadsCentreTranslationAndRotationRows) {
  float centre[3];
  float matrix[4][3];
  ASSERT_TRUE(read_matrix_text("1 2 3\n4 5 6\n7 8 9\n10 11 12\n13 14 15\n",
                               centre, matrix));
  EXPECT_EQ(centre[0], 1.0f);
  EXPECT_EQ(centre[1], 2.0f);
  EXPECT_EQ(centre[2], 3.0f);
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 3; ++column)
      EXPECT_EQ(matrix[row][column], 4.0f + 3 * row + column);
}

TEST(ReadMatrixFile, AcceptsWhatPercentFAccepts) {
  float centre[3];
  float matrix[4][3];
  // Leading blanks, a fourth number, numbers without blanks between them,
  // exponents, tabs, CR LF, and a sixth line that is never looked at.
  ASSERT_TRUE(read_matrix_text(
      "  1 2 3 4\n1-2-3\n1e-3 -2.5E+1 +.5\n\t0x1p-2 inf 7\r\n0 0 0\nno\n",
      centre, matrix));
  EXPECT_EQ(centre[2], 3.0f);
  EXPECT_EQ(matrix[0][0], 1.0f);
  EXPECT_EQ(matrix[0][1], -2.0f);
  EXPECT_EQ(matrix[0][2], -3.0f);
  EXPECT_EQ(matrix[1][0], 0.001f);
  EXPECT_EQ(matrix[1][1], -25.0f);
  EXPECT_EQ(matrix[1][2], 0.5f);
  EXPECT_EQ(matrix[2][0], 0.25f);
  EXPECT_TRUE(std::isinf(matrix[2][1]));
}

TEST(ReadMatrixFile, KeepsSinglePrecision) {
  float centre[3];
  float matrix[4][3];
  ASSERT_TRUE(read_matrix_text("0 0 0\n0 0 0\n0.1 0 0\n0 1 0\n0 0 1\n", centre,
                               matrix));
  // The float nearest to 0.1, not the double nearest to it.
  EXPECT_EQ(static_cast<double>(matrix[1][0]), 0.100000001490116119384765625);
}

const float kZeroCentre[3] = {0, 0, 0};
const float kIdentity[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

TEST(ApplyTransformation, IdentityKeepsValuesAndClearsNegativeZero) {
  std::vector<Coor3f> atoms = {{12.345, -0.0, 1e300}, {-7.5, 3.25, -0.0}};
  apply_transformation(kZeroCentre, kIdentity, atoms);
  EXPECT_EQ(atoms[0].x, 12.345);
  EXPECT_EQ(atoms[0].y, 0.0);
  EXPECT_FALSE(std::signbit(atoms[0].y));  // -0 + 0 is +0
  EXPECT_EQ(atoms[0].z, 1e300);
  EXPECT_EQ(atoms[1].x, -7.5);
  EXPECT_EQ(atoms[1].y, 3.25);
  EXPECT_FALSE(std::signbit(atoms[1].z));
}

TEST(ApplyTransformation, RowsGiveNewXYZ) {
  const float permute[4][3] = {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}};
  std::vector<Coor3f> atoms = {{1, 2, 3}};
  apply_transformation(kZeroCentre, permute, atoms);
  EXPECT_EQ(atoms[0].x, 2.0);
  EXPECT_EQ(atoms[0].y, 3.0);
  EXPECT_EQ(atoms[0].z, 1.0);
}

TEST(ApplyTransformation, SubtractsCentreRotatesThenTranslates) {
  const float centre[3] = {1, 0, 0};
  const float inversion[4][3] = {
      {10, 20, 30}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
  std::vector<Coor3f> atoms = {{3, 5, 7}};
  apply_transformation(centre, inversion, atoms);
  EXPECT_EQ(atoms[0].x, 8.0);   // -(3 - 1) + 10
  EXPECT_EQ(atoms[0].y, 15.0);  // -5 + 20
  EXPECT_EQ(atoms[0].z, 23.0);  // -7 + 30
}

TEST(ApplyTransformation, SumsLeftToRightEachRoundedOnItsOwn) {
  // (1e16 + 1) + 1: each sum rounds back to 1e16 (ties to even), whereas
  // 1e16 + (1 + 1) would give 1e16 + 2.
  const float ones[4][3] = {{0, 0, 0}, {1, 1, 1}, {0, 1, 0}, {0, 0, 1}};
  std::vector<Coor3f> atoms = {{1e16, 1, 1}};
  apply_transformation(kZeroCentre, ones, atoms);
  EXPECT_EQ(atoms[0].x, 1e16);

  // r * x with r = 1 + 2^-23 and x = 1 + 2^-30 is exactly
  // 1 + 2^-23 + 2^-30 + 2^-53, which rounds to 1 + 2^-23 + 2^-30; adding
  // -(1 + 2^-23 + 2^-30) then gives 0. A fused multiply-add would keep
  // the 2^-53.
  const float r = 1.0f + std::ldexp(1.0f, -23);
  const float unfused[4][3] = {{0, 0, 0}, {r, 1, 0}, {0, 1, 0}, {0, 0, 1}};
  const double x = 1.0 + std::ldexp(1.0, -30);
  std::vector<Coor3f> product = {
      {x, -(1.0 + std::ldexp(1.0, -23) + std::ldexp(1.0, -30)), 0}};
  apply_transformation(kZeroCentre, unfused, product);
  EXPECT_EQ(product[0].x, 0.0);
}

TEST(ApplyTransformation, EveryPathGivesTheSumsWrittenOut) {
  // Random transformations over runs of every length from 1 to 19, so that
  // every element falls in every place of a vector register and in the
  // elements left over after them; magnitudes from 1e-3 to 1e7.
  std::mt19937_64 random(8);
  std::uniform_real_distribution<float> entry(-2, 2);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-3, 7);
  const auto coordinate = [&] {
    return mantissa(random) * std::pow(10.0, exponent(random));
  };
  for (int round = 0; round < 200; ++round) {
    float centre[3];
    float matrix[4][3];
    for (float& c : centre) c = static_cast<float>(coordinate());
    for (auto& row : matrix)
      for (float& m : row) m = entry(random);
    std::vector<Coor3f> atoms(static_cast<size_t>(round % 19 + 1));
    for (Coor3f& a : atoms) a = {coordinate(), coordinate(), coordinate()};
    std::vector<Coor3f> expected = atoms;
    double m[4][3];
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 3; ++j) m[i][j] = matrix[i][j];
    // Each product and each sum rounded on its own, left to right.
    for (Coor3f& a : expected) {
      const double x = a.x - double{centre[0]};
      const double y = a.y - double{centre[1]};
      const double z = a.z - double{centre[2]};
      double moved[3];
      for (int row = 0; row < 3; ++row) {
        double sum = m[row + 1][0] * x;
        sum += m[row + 1][1] * y;
        sum += m[row + 1][2] * z;
        moved[row] = sum + m[0][row];
      }
      a = {moved[0], moved[1], moved[2]};
    }
    std::vector<Coor3f> dispatched = atoms;
    std::vector<Coor3f> portable = atoms;
    apply_transformation(centre, matrix, dispatched);
    apply_transformation_portable(centre, matrix, portable);
    const size_t bytes = atoms.size() * sizeof(Coor3f);
    ASSERT_EQ(memcmp(dispatched.data(), expected.data(), bytes), 0) << round;
    ASSERT_EQ(memcmp(portable.data(), expected.data(), bytes), 0) << round;
  }
}

}  // namespace
