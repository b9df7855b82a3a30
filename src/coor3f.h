#pragma once

#include "growable_array.h"
#include "record_lines.h"

// The coordinates of one atom record, read from and written to its line.
struct Coor3f {
  double x;
  double y;
  double z;
};

// One element per atom record of the coordinate file, in input order.
extern GrowableArray<Coor3f> atom;
// The whole line of each atom record as read, terminator included, in the
// same order: the i-th line belongs to atom[i]. The text they show is kept
// until the process ends.
extern RecordLines lines;
