#pragma once

#include <string_view>

#include "growable_array.h"

// The coordinates of one atom record, read from and written to its line.
struct Coor3f {
  double x;
  double y;
  double z;
};

// One element per atom record of the coordinate file, in input order.
extern GrowableArray<Coor3f> atom;
// The whole line of each atom record as read, terminator included;
// lines[i] belongs to atom[i]. The text they show is kept until the process
// ends.
extern GrowableArray<std::string_view> lines;
