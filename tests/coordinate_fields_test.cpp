// The record path reads and writes the common shapes of coordinates without
// strtod and printf; these tests hold it to exactly their results.
#include "coordinate_fields.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "atom_records.h"
#include "written_records.h"

namespace {

using namespace std::string_literals;

// Offsets 0-29 of a typical atom record, and its part from offset 54 on.
const std::string kHead = "ATOM      1  N   GLN A   3    ";
const std::string kTail = "  1.00 20.00           N  ";

TEST(ReadCoordinate, ReadsOnlyItsOwnField) {
  const std::string fields = "  12.3451000.000  -0.500";
  const std::string line = kHead + fields + kTail;
  EXPECT_EQ(read_coordinate(line.data(), line.size(), kXOffset), 12.345);
  EXPECT_EQ(read_coordinate(line.data(), line.size(), kYOffset), 1000.0);
  EXPECT_EQ(read_coordinate(line.data(), line.size(), kZOffset), -0.5);
}

TEST(ReadCoordinate, FollowsStrtodInsideTheField) {
  struct Case {
    std::string field;
    double value;
  };
  const Case cases[] = {
      {"  1.5e+2", 150.0},
      {"+12.5   ", 12.5},
      {"  0x1p-3", 0.125},
      {"12.5abcd", 12.5},
      {"12\0"
       "45.67"s,
       12.0},
      {"        ", 0.0},
      {"   -.250", -0.25},
      {"  abc   ", 0.0},
      {"\t\v\f\r7.0 ", 7.0},
      {"1.25e   ", 1.25},
  };
  for (const Case& c : cases) {
    const std::string line = kHead + c.field + "   2.000   3.000" + kTail;
    EXPECT_EQ(read_coordinate(line.data(), line.size(), kXOffset), c.value)
        << c.field;
  }
  const std::string infinite = kHead + "     inf";
  EXPECT_TRUE(
      std::isinf(read_coordinate(infinite.data(), infinite.size(), kXOffset)));
  const std::string negative_zero = kHead + "  -0.000";
  EXPECT_TRUE(std::signbit(
      read_coordinate(negative_zero.data(), negative_zero.size(), kXOffset)));
}

TEST(ReadCoordinate, ShortContentReadsAsBlanks) {
  // Content ends inside the y field: the rest of y and all of z are blanks.
  const std::string line = kHead + "   1.500  2.2";
  EXPECT_EQ(read_coordinate(line.data(), line.size(), kXOffset), 1.5);
  EXPECT_EQ(read_coordinate(line.data(), line.size(), kYOffset), 2.2);
  EXPECT_EQ(read_coordinate(line.data(), line.size(), kZOffset), 0.0);
  // The byte after the content is never looked at.
  EXPECT_EQ(read_coordinate(line.data(), line.size() - 1, kYOffset), 2.0);
}

std::string printf_field(double value) {
  char text[kMaxFieldLength];
  snprintf(text, sizeof text, "%8.3f", value);
  return text;
}

std::string fast_field(double value) {
  char text[kMaxFieldLength];
  return std::string(text, format_coordinate(value, text));
}

// The value as write_atom_records writes it in all three fields of a
// record of the usual layout, where it takes its shortcuts for fields that
// fit eight bytes.
std::string record_fields(double value) {
  static const std::string line =
      std::string(30, 'A') + std::string(24, '0') + "\n";
  // The sweeps ask for millions of values: the line's mappings are made
  // once, not once a value.
  static const RecordLines texts = [] {
    RecordLines lines;
    EXPECT_TRUE(append_line(lines, line));
    return lines;
  }();
  const Coor3f atoms[] = {{value, value, value}};
  const std::string record = written_records(atoms, texts, {});
  return record.substr(30, record.size() - 31);
}

// The value as format_coordinate_words gives it in each of its three words,
// each word's bytes from the lowest; "none" where it gives none.
std::string word_fields(double value) {
  const double values[3] = {value, value, value};
  uint64_t words[3];
  if (!format_coordinate_words(values, words)) return "none";
  std::string fields;
  for (const uint64_t word : words)
    for (int byte = 0; byte < 8; ++byte)
      fields += static_cast<char>(word >> (8 * byte));
  return fields;
}

// Counts the ways in which the formatters disagree with printf; reports the
// first few.
int format_disagreements(double value) {
  const std::string expected = printf_field(value);
  int failures = 0;
  const std::string record = record_fields(value);
  const size_t width = expected.size();
  // The words hold a number that fits eight bytes, and nothing else.
  const std::string words = word_fields(value);
  const std::string expected_words = width == 8 && std::isfinite(value)
                                         ? expected + expected + expected
                                         : "none";
  for (const std::string& actual :
       {fast_field(value), record.substr(0, width), record.substr(width, width),
        record.substr(2 * width), words == expected_words ? expected : words}) {
    if (expected == actual) continue;
    ADD_FAILURE() << "value " << value << " (" << std::hexfloat << value
                  << "): printf \"" << expected << "\", fast \"" << actual
                  << "\"";
    ++failures;
  }
  return failures;
}

// How much of the two long sweeps to run, from ZADURIDE_SWEEP: "full" for
// all of it; "emulated", for the cross-built suites (an emulator runs them
// some ten times slower), ties at a shorter prime step than the short form
// and the same random values; anything else for a short form that still
// reaches every path: ties spread over the whole range, and a fiftieth of
// the random values. Every form keeps every tie next to a change of the
// field's width.
struct SweepForm {
  int tie_step;
  int random_values;
};

SweepForm sweep_form() {
  const char* form = getenv("ZADURIDE_SWEEP");
  const std::string name = form != nullptr ? form : "";
  if (name == "full") return {1, 1000000};
  // A prime step meets ties of every sixteenth and every magnitude.
  if (name == "emulated") return {11, 20000};
  return {61, 20000};
}

TEST(FormatCoordinate, MatchesPrintfOnEveryTie) {
  // A value with exactly half a thousandth over is an odd multiple of 1/16;
  // its neighbours are as close to a tie as a double gets.
  int failures = 0;
  const int step = sweep_form().tie_step;
  const auto near_a_width_change = [](int k) {
    const int magnitude = std::abs(k);
    return magnitude <= 16 || std::abs(magnitude - 1000 * 16) <= 16 ||
           std::abs(magnitude - 10000 * 16) <= 16;
  };
  for (int k = -20000 * 16; k <= 20000 * 16 && failures < 10; ++k) {
    if (k % step != 0 && !near_a_width_change(k)) continue;
    const double tie = k / 16.0;
    failures += format_disagreements(tie) +
                format_disagreements(std::nextafter(tie, -HUGE_VAL)) +
                format_disagreements(std::nextafter(tie, HUGE_VAL));
  }
  EXPECT_EQ(failures, 0);
}

TEST(FormatCoordinate, MatchesPrintfAtTheEdges) {
  const double edges[] = {0.0,        -0.0,
                          0.0004,     -0.0004,
                          0.0005,     -0.0005,
                          9999.9995,  -999.9995,
                          10000.0,    -1000.0,
                          99999.9995, 1e15,
                          -1e15,      9.999999999999999e14,
                          1e300,      -1e-300,
                          5e-324,     HUGE_VAL,
                          -HUGE_VAL,  2.5e-4,
                          1.0625,     1.0635};
  int failures = 0;
  for (double edge : edges) {
    double below = edge, above = edge;
    for (int step = 0; step < 64; ++step) {
      failures += format_disagreements(below) + format_disagreements(above);
      below = std::nextafter(below, -HUGE_VAL);
      above = std::nextafter(above, HUGE_VAL);
    }
  }
  EXPECT_EQ(failures, 0);
  // Not-a-number is written "nan" either way, its sign aside.
  EXPECT_EQ(fast_field(std::nan("")), printf_field(std::nan("")));
}

TEST(FormatCoordinate, MatchesPrintfOnRandomValues) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> coordinate(-1500.0, 11000.0);
  int failures = 0;
  const int count = sweep_form().random_values;
  for (int i = 0; i < count && failures < 10; ++i) {
    // Any bit pattern, then a value in the usual range.
    uint64_t bits = random();
    double value;
    memcpy(&value, &bits, sizeof value);
    if (!std::isnan(value)) failures += format_disagreements(value);
    failures += format_disagreements(coordinate(random));
  }
  EXPECT_EQ(failures, 0);
}

// A cross-built suite, which an emulator mostly runs some ten times slower,
// takes a fifth of the random records and fields of the two longest
// equivalence tests, as it takes shorter sweeps.
#ifdef ZADURIDE_CROSS_BUILT
constexpr int kRandomShare = 5;
#else
constexpr int kRandomShare = 1;
#endif

TEST(WriteAtomRecords, MatchesPrintfOnRandomRecords) {
  // Records take a shortcut when all three fields fit in eight bytes; each
  // must come out as "%8.3f" would write it, whichever way it is taken.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> coordinate(-1200.0, 12000.0);
  const std::string head = "ATOM   1234  CA  GLN A 123    ";
  const std::string line = head + std::string(24, '0') + "  1.00 48.14\r\n";
  // The records one after another, as in a file.
  std::string text;
  for (int i = 0; i < 10000; ++i) text += line;
  RecordLines texts;
  for (int i = 0; i < 10000; ++i)
    ASSERT_TRUE(append_line(
        texts, std::string_view(text).substr(i * line.size(), line.size())));
  for (int round = 0; round < 50 / kRandomShare; ++round) {
    std::vector<Coor3f> atoms;
    std::string expected;
    for (int i = 0; i < 10000; ++i) {
      Coor3f c = {coordinate(random), coordinate(random), coordinate(random)};
      if (i % 7 == 0)
        c.y = static_cast<double>(static_cast<int64_t>(random() % 2000000) -
                                  1000000) /
              16.0;
      if (i % 11 == 0) c.z = -static_cast<double>(random() % 1000) * 1e-7;
      atoms.push_back(c);
      expected += head + printf_field(c.x) + printf_field(c.y) +
                  printf_field(c.z) + "  1.00 48.14\r\n";
    }
    ASSERT_EQ(written_records(atoms, texts, {}), expected) << "round " << round;
  }
  release_lines(texts);
}

// strtod over the field's eight bytes, blank-padded past the content.
double strtod_field(const std::string& content, size_t offset) {
  char field[kFieldWidth + 1];
  for (size_t i = 0; i < kFieldWidth; ++i)
    field[i] = offset + i < content.size() ? content[offset + i] : ' ';
  field[kFieldWidth] = '\0';
  return strtod(field, nullptr);
}

bool same_double(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || memcmp(&a, &b, sizeof a) == 0;
}

// Each field read alone, and the three read together (on some machines
// with vector instructions), against strtod.
int read_disagreements(const std::string& content) {
  double together[3];
  read_coordinate_fields(content.data(), content.size(), kXOffset, together);
  int failures = 0;
  for (size_t i = 0; i < 3; ++i) {
    const size_t offset = kXOffset + i * kFieldWidth;
    const double expected = strtod_field(content, offset);
    const double alone =
        read_coordinate(content.data(), content.size(), offset);
    for (double actual : {alone, together[i]}) {
      if (same_double(expected, actual)) continue;
      ADD_FAILURE() << "content \"" << content << "\" at " << offset
                    << ": strtod " << expected << ", fast " << actual;
      ++failures;
    }
  }
  return failures;
}

TEST(ReadCoordinate, MatchesStrtodOnNearMisses) {
  // Shapes one byte away from [blanks][-]digits.ddd, in each field.
  const char* fields[] = {"- 12.345",  "--12.345", "1-12.345", "12 3.456",
                          "  12.34 ",  " +12.345", "0012.345", "  12,345",
                          "  -.1234",  "   -.123", "12345.67", "  1234.5",
                          "\t 12.345", " 12.3456", "1.2.3456", "   .1234",
                          "-1234.56",  "  -0.000", "-999.999", "9999.999"};
  const std::string head(30, 'A');
  const std::string plain = "  12.345";
  int failures = 0;
  for (const char* field : fields)
    for (int position = 0; position < 3; ++position) {
      std::string three = plain + plain + plain;
      three.replace(static_cast<size_t>(position) * kFieldWidth, kFieldWidth,
                    field);
      failures += read_disagreements(head + three + "  1.00");
    }
  EXPECT_EQ(failures, 0);
}

TEST(ReadCoordinate, MatchesStrtodOnFormattedFields) {
  std::mt19937_64 random(54);
  std::uniform_real_distribution<double> coordinate(-9999.0, 99999.0);
  const char* formats[] = {"%8.3f", "%8.0f", "%8.1f",  "%8.2f",  "%8.4f",
                           "%8.5f", "%8.6f", "%-8.3f", "%+8.3f", "%08.3f",
                           "%8.1e", "%8.0e", "%8.1a"};
  const std::string head(30, 'A');
  int failures = 0;
  for (int i = 0; i < 200000 / kRandomShare && failures < 10; ++i) {
    std::string fields;
    // Half the records in the usual "%8.3f" throughout.
    const bool usual = random() % 2 == 0;
    for (int f = 0; f < 3; ++f) {
      char text[64];
      const char* format =
          usual ? "%8.3f" : formats[random() % std::size(formats)];
      snprintf(text, sizeof text, format,
               coordinate(random) /
                   std::pow(10.0, static_cast<double>(random() % 5)));
      fields += std::string(text).substr(0, kFieldWidth);
      fields.resize(kFieldWidth * (f + 1), ' ');
    }
    failures += read_disagreements(head + fields + "  1.00");
  }
  EXPECT_EQ(failures, 0);
}

TEST(ReadCoordinate, MatchesStrtodOnRandomBytesAndShortContent) {
  std::mt19937_64 random(31);
  const char alphabet[] = " 0123456789.-+eExXpPabfinINF\t\r\0\xff";
  const std::string head(30, 'A');
  int failures = 0;
  for (int i = 0; i < 300000 && failures < 10; ++i) {
    std::string fields(3 * kFieldWidth, ' ');
    for (char& c : fields) {
      // Mostly digits and blanks, so that near-miss shapes are common.
      const uint64_t pick = random() % 4;
      c = pick == 0   ? alphabet[random() % (sizeof alphabet - 1)]
          : pick == 1 ? ' '
                      : static_cast<char>('0' + random() % 10);
      if (random() % 8 == 0) c = '.';
    }
    const std::string content = head + fields;
    // Whole, and cut short anywhere inside the fields.
    failures += read_disagreements(content);
    failures += read_disagreements(content.substr(0, 30 + random() % 25));
  }
  EXPECT_EQ(failures, 0);
}

TEST(ReadDecimalNumber, GivesStrtodsValueOfADecimalAndRejectsOtherText) {
  // Signs, points, 15 digits (the exact division's most) and more,
  // leading zeros, overflow, subnormals.
  std::istringstream edges(
      "0 -0 +0 -0.000 0. .5 -.5 +5. 0.1 1.005 999999999999999 "
      "99999999999999.9 999999999999999.9 9007199254740993 0.000000000000001 "
      "00000000000000000000001.5 12345678901234567890 1e308 "
      "1.7976931348623157E308 1e309 -1e309 4.9e-324 2.4703282292062327e-324 "
      "1e-400 2.2250738585072011e-308 -107.228 7.065 9999.999 -999.999 "
      "-9999.999 10000.000 1.0000 .123 -.123");
  std::vector<std::string> decimals;
  for (std::string text; edges >> text;) decimals.push_back(text);
  // Longer than the tool's own copy on the stack.
  decimals.push_back("1." + std::string(80, '3') + "e-2");
  // Random decimals of every shape: a sign or none; up to 20 digits on
  // each side of a point or none, often with leading zeros; an exponent or
  // none.
  std::mt19937_64 random(21);
  for (int i = 0; i < 50000; ++i) {
    static const char* const signs[] = {"", "-", "+"};
    std::string text = signs[random() % 3];
    const auto put_digits = [&](uint64_t count) {
      if (random() % 4 == 0) text += std::string(random() % 5, '0');
      for (uint64_t d = 0; d < count; ++d)
        text += static_cast<char>('0' + random() % 10);
    };
    const uint64_t whole = random() % 21;
    const uint64_t fraction = random() % 21;
    put_digits(whole == 0 && fraction == 0 ? 1 : whole);
    if (fraction != 0 || random() % 4 == 0) text += '.';
    put_digits(fraction);
    if (random() % 3 == 0) {
      text += random() % 2 ? 'e' : 'E';
      text += signs[random() % 3];
      put_digits(1 + random() % 3);
    }
    decimals.push_back(text);
  }
  int failures = 0;
  for (const std::string& text : decimals) {
    double value = 0;
    double in_place = 0;
    const double expected = strtod(text.c_str(), nullptr);
    // In place, after bytes that would make another number of it if they
    // were read too ("-91.234").
    const std::string row = "ATOM  -9" + text;
    // Three at once: this text between two that take the usual shape, and
    // blanks after them, as the nine bytes from a number's start are read.
    const std::string three = row + " 12.345 -0.500" + std::string(9, ' ');
    const char* const three_end = three.data() + row.size() + 14;
    const char* const ends[3] = {three.data() + row.size(), three_end - 7,
                                 three_end};
    const size_t lengths[3] = {text.size(), 6, 6};
    const char* const starts[3] = {ends[0] - text.size(), ends[1] - 6,
                                   ends[2] - 6};
    size_t lengths_found[3] = {};
    double started_values[3] = {};
    const bool read_from_starts = read_thousandths_numbers_starting_at(
        starts, lengths_found, started_values);
    double values[3] = {};
    // The usual shape alone: -dddd.ddd in at most eight bytes.
    static const std::regex usual("-?[0-9]{1,4}[.][0-9]{3}");
    const bool is_usual = text.size() <= 8 && std::regex_match(text, usual);
    double usual_values[3] = {};
    const bool read_as_usual =
        read_thousandths_numbers_ending_at(ends, lengths, usual_values);
    // Read at lengths known to be theirs, as a row of one shape reads the
    // numbers of the row before's lengths; and, where the processor has
    // them, with the copies built for AVX-512BW and BMI2. Each gives what
    // read_thousandths_numbers_starting_at gives.
    const bool has_known_length = !text.empty() && text.size() <= 8;
    double known_values[3] = {};
    bool variants_agree =
        !has_known_length ||
        (read_thousandths_numbers_of_lengths(starts, lengths, known_values) ==
             read_from_starts &&
         (!read_from_starts ||
          memcmp(known_values, started_values, sizeof known_values) == 0));
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi2")) {
      size_t wide_lengths[3] = {};
      double wide_values[3] = {};
      variants_agree =
          variants_agree &&
          read_thousandths_numbers_starting_at_avx512(
              starts, wide_lengths, wide_values) == read_from_starts &&
          (!read_from_starts ||
           (memcmp(wide_values, started_values, sizeof wide_values) == 0 &&
            memcmp(wide_lengths, lengths_found, sizeof wide_lengths) == 0));
      variants_agree =
          variants_agree &&
          (!has_known_length ||
           (read_thousandths_numbers_of_lengths_avx512(
                starts, lengths, wide_values) == read_from_starts &&
            (!read_from_starts ||
             memcmp(wide_values, started_values, sizeof wide_values) == 0)));
    }
#endif
    if (read_decimal_number(text.data(), text.size(), &value) &&
        same_double(value, expected) &&
        read_decimal_number_ending_at(row.data() + row.size(), text.size(),
                                      &in_place) &&
        same_double(in_place, expected) &&
        read_decimal_numbers_ending_at(ends, lengths, values) &&
        same_double(values[0], expected) && values[1] == 12.345 &&
        values[2] == -0.5 && read_as_usual == is_usual &&
        (!is_usual || (same_double(usual_values[0], expected) &&
                       usual_values[1] == 12.345 && usual_values[2] == -0.5)) &&
        read_from_starts == is_usual && variants_agree &&
        (!is_usual ||
         (same_double(started_values[0], expected) &&
          started_values[1] == 12.345 && started_values[2] == -0.5 &&
          lengths_found[0] == text.size() && lengths_found[1] == 6 &&
          lengths_found[2] == 6)))
      continue;
    ADD_FAILURE() << "\"" << text << "\": strtod " << expected << ", read "
                  << value;
    if (++failures == 10) break;
  }
  for (const char* text :
       {"12.345(3)", "1e", ".", "-", "+.e1", "0x10", "inf", "nan", "1.2.3",
        " 1", "1 ", "", "1e+", "--1", "e5", "1,5", "1.0e1.5", ".e1", "1d5"}) {
    double value = 7.0;
    EXPECT_FALSE(read_decimal_number(text, strlen(text), &value)) << text;
    const std::string row = "    0.00" + std::string(text);
    EXPECT_FALSE(read_decimal_number_ending_at(row.data() + row.size(),
                                               strlen(text), &value))
        << text;
    const char* const ends[3] = {row.data() + 8, row.data() + row.size(),
                                 row.data() + 8};
    const size_t lengths[3] = {4, strlen(text), 4};
    double values[3];
    EXPECT_FALSE(read_decimal_numbers_ending_at(ends, lengths, values)) << text;
    EXPECT_FALSE(read_thousandths_numbers_ending_at(ends, lengths, values))
        << text;
    // From their starts: each ends at the first byte below '!'.
    const std::string spaced =
        "0.000 " + std::string(text) + " 0.000" + std::string(9, ' ');
    const char* const starts[3] = {spaced.data(), spaced.data() + 6,
                                   spaced.data() + 7 + strlen(text)};
    size_t lengths_found[3];
    EXPECT_FALSE(
        read_thousandths_numbers_starting_at(starts, lengths_found, values))
        << text;
    EXPECT_EQ(value, 7.0) << text;
  }
  // Only the given length is read.
  double value = 0;
  EXPECT_TRUE(read_decimal_number("1.5e3", 3, &value));
  EXPECT_EQ(value, 1.5);
}

TEST(FormatCoordinateValue, WritesWhatPercentPointThreeFWrites) {
  std::vector<double> values = {
      0.0,      -0.0,      0.0004,       -0.0004,      0.0005,    -0.0005,
      2.5e-4,   1.0625,    -1.1875,      9999.9995,    -999.9995, 123456.5,
      1e15,     -1e15,     1e22,         -1e300,       DBL_MAX,   5e-324,
      HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan("")};
  // Exact ties, every sixteenth, round to even; any bit pattern; values
  // in the usual range.
  for (int k = -16000; k <= 16000; k += 7) values.push_back(k / 16.0);
  std::mt19937_64 random(22);
  std::uniform_real_distribution<double> coordinate(-1500.0, 11000.0);
  for (int i = 0; i < 5000; ++i) {
    const uint64_t bits = random();
    double value;
    memcpy(&value, &bits, sizeof value);
    values.push_back(value);
    values.push_back(coordinate(random));
  }
  int failures = 0;
  for (const double value : values) {
    char expected[kMaxFieldLength];
    char actual[kMaxFieldLength];
    snprintf(expected, sizeof expected, "%.3f", value);
    const std::string written(actual, format_coordinate_value(value, actual));
    if (written == expected) continue;
    ADD_FAILURE() << std::hexfloat << value << ": printf \"" << expected
                  << "\", written \"" << written << "\"";
    if (++failures == 10) break;
  }
}

}  // namespace
