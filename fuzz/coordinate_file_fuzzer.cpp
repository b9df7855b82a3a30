// Arbitrary bytes as the coordinate file, through reading, a non-trivial
// transformation and writing. Besides what the sanitizers catch, the output
// must be exactly the literal rendering of the layout: one record per line
// whose first token begins with ATOM, each its input line with only the
// three coordinate fields replaced.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "atom_records.h"
#include "fuzz_file.h"
#include "reference.h"
#include "transformation.h"
#include "written_records.h"

static const float kCentre[3] = {23.25f, 37.2f, 16.88f};
static const float kMatrix[4][3] = {{10.0f, -5.0f, 2.5f},
                                    {0.36f, 0.48f, -0.8f},
                                    {-0.8f, 0.6f, 0.0f},
                                    {0.48f, 0.64f, 0.6f}};

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_tool_output();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz_file_with(data, size);
  const std::string input(reinterpret_cast<const char*>(data), size);
  // mmCIF and compressed files have fuzzers of their own.
  if (!reference_is_fixed_column(input)) return 0;
  GrowableArray<Coor3f> atoms;
  RecordLines texts;
  MmcifLayout layout;
  if (read_atom_records(path, atoms, texts, layout) != 0) abort();
  if (atoms.size != line_count(texts) ||
      atoms.size != reference_record_count(input))
    abort();
  apply_transformation(kCentre, kMatrix, items(atoms));

  const bool same = written_records(items(atoms), texts, layout) ==
                    reference_records(input, kCentre, kMatrix);
  release_array(atoms);
  release_lines(texts);
  release_coordinate_texts();
  if (!same) abort();
  return 0;
}
