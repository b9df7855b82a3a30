#pragma once

#include <string>

// A slow, literal rendering of what the tool writes for a coordinate file:
// line by line, each field copied out and read with strtod, each new value
// written with snprintf("%8.3f"). Tests and fuzzers hold the tool to it.
std::string reference_records(const std::string& coordinates,
                              const float centre[3], const float matrix[4][3]);

// True when the text is read in the fixed-column layout: it doesn't start
// with gzip's magic bytes, and no line whose first token starts with data_,
// loop_ or _atom_site. (letters in any case) comes before its first record.
bool reference_is_fixed_column(const std::string& coordinates);

// The number of lines whose first token begins with "ATOM".
size_t reference_record_count(const std::string& coordinates);

// Whether a matrix file of this text is accepted, literally: five lines,
// each yielding three values under "%f %f %f"; their values in centre and
// matrix when it is.
bool reference_matrix(const std::string& text, float centre[3],
                      float matrix[4][3]);
