#pragma once

#include <cstddef>
#include <cstdint>

// A coordinate field is eight bytes, read as strtod reads them and written
// as printf writes "%8.3f".
constexpr size_t kFieldWidth = 8;
// "%8.3f" of the largest double is 309 digits, the point and three decimals.
constexpr size_t kMaxFieldLength = 320;

// Parses the eight-byte field at offset as strtod does, never reading past
// the content; a field cut short reads as blanks.
double read_coordinate(const char* content, size_t content_length,
                       size_t offset);

// Writes value as printf's "%8.3f" does, into out (kMaxFieldLength bytes
// at least), and returns the length written.
size_t format_coordinate(double value, char* out);

// Reads the three consecutive fields that start at offset into values, each
// as read_coordinate reads it.
void read_coordinate_fields(const char* content, size_t content_length,
                            size_t offset, double values[3]);

// Writes the three values as "%8.3f" into exactly the 24 bytes at fields
// when each fits its eight bytes, as almost every coordinate does; false
// otherwise, with the fields' bytes undefined.
bool format_coordinate_fields(const double values[3], char* fields);

// The same, each field as a word, its first byte lowest, whatever the
// machine's byte order.
bool format_coordinate_words(const double values[3], uint64_t words[3]);

// Reads text, the whole of it, as strtod reads a decimal number: an
// optional sign, digits with an optional point, an optional exponent (the
// numbers that CIF files hold, without a standard uncertainty). False,
// with value unchanged, for any other text.
bool read_decimal_number(const char* text, size_t length, double* value);

// The same for the number of length bytes that ends at end, where the eight
// bytes before end may all be read (the number's and those before it).
bool read_decimal_number_ending_at(const char* end, size_t length,
                                   double* value);

// The same for three numbers, each of lengths[k] bytes ending at ends[k],
// into values; false, with values undefined, unless all three are numbers.
bool read_decimal_numbers_ending_at(const char* const ends[3],
                                    const size_t lengths[3], double values[3]);

// The same for three numbers that each take the fixed-column layout's
// common shape once blank-padded into eight bytes ("-107.228", "7.065"):
// one to four digits, the point and three decimals. False for any other
// number, which read_decimal_numbers_ending_at reads; never a value beyond
// a double's range.
bool read_thousandths_numbers_ending_at(const char* const ends[3],
                                        const size_t lengths[3],
                                        double values[3]);
// The same for three numbers that each start at starts[k] and end before
// the first byte at or below ' ' of the nine from there (all nine may be
// read), giving each one's length in lengths; false where one has no such
// byte or is not of that shape.
bool read_thousandths_numbers_starting_at(const char* const starts[3],
                                          size_t lengths[3], double values[3]);
// The same for numbers known to be lengths[k] bytes long (1 to 8), as
// read_thousandths_numbers_starting_at found them in a row before: false
// unless each is of that shape.
bool read_thousandths_numbers_of_lengths(const char* const starts[3],
                                         const size_t lengths[3],
                                         double values[3]);
#if defined(__x86_64__) || defined(__i386__)
// The same two built for processors with AVX-512BW and BMI2, for a loop
// built for them to call: the same operations in the vector instructions'
// newer encoding. Called from such a loop, the older one made it a third
// slower.
bool read_thousandths_numbers_starting_at_avx512(const char* const starts[3],
                                                 size_t lengths[3],
                                                 double values[3]);
bool read_thousandths_numbers_of_lengths_avx512(const char* const starts[3],
                                                const size_t lengths[3],
                                                double values[3]);
#endif

// Writes value as printf's "%.3f" does, into out (kMaxFieldLength bytes at
// least), and returns the length written.
size_t format_coordinate_value(double value, char* out);
