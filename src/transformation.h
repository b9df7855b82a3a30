#pragma once

#include <span>

#include "coor3f.h"

// matrix[0] is the translation; matrix[1..3] are the rows of the rotation
// that give the new x, y and z.
bool read_matrix_file(const char* path, float centre[3], float matrix[4][3]);

// new = R * (old - centre) + t, for every element in place; with wider
// vector instructions where the machine has them.
void apply_transformation(const float centre[3], const float matrix[4][3],
                          std::span<Coor3f> atom);

// The same, with the instructions any machine of its kind has.
void apply_transformation_portable(const float centre[3],
                                   const float matrix[4][3],
                                   std::span<Coor3f> atom);
