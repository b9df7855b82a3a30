// Arbitrary bytes as the matrix file: reading succeeds exactly when each of
// the first five lines yields three values under "%f %f %f", and then holds
// those values.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_file.h"
#include "reference.h"
#include "transformation.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_tool_output();
  return 0;
}

static bool same_values(const float* a, const float* b, int count) {
  for (int i = 0; i < count; ++i)
    if (memcmp(&a[i], &b[i], sizeof a[i]) != 0 &&
        !(std::isnan(a[i]) && std::isnan(b[i])))
      return false;
  return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz_file_with(data, size);
  float centre[3], matrix[4][3];
  float expected_centre[3], expected_matrix[4][3];
  const bool ok = read_matrix_file(path, centre, matrix);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool expected =
      reference_matrix(text, expected_centre, expected_matrix);
  if (ok != expected) abort();
  if (ok && !(same_values(centre, expected_centre, 3) &&
              same_values(&matrix[0][0], &expected_matrix[0][0], 12)))
    abort();
  return 0;
}
