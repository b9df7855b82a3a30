#include "reference.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char kWhiteSpace[] = " \t\n\r\v\f";

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> result;
  size_t start = 0;
  while (start < text.size()) {
    const size_t newline = text.find('\n', start);
    const size_t end = newline == std::string::npos ? text.size() : newline + 1;
    result.push_back(text.substr(start, end - start));
    start = end;
  }
  return result;
}

bool is_record(const std::string& line) {
  const size_t first = line.find_first_not_of(kWhiteSpace);
  return first != std::string::npos && line.compare(first, 4, "ATOM") == 0;
}

std::string percent_8_3f(double value) {
  char text[400];
  snprintf(text, sizeof text, "%8.3f", value);
  return text;
}

}  // namespace

bool reference_is_fixed_column(const std::string& coordinates) {
  if (coordinates.compare(0, 2, "\x1f\x8b") == 0) return false;
  for (const std::string& line : split_lines(coordinates)) {
    if (is_record(line)) return true;
    const size_t first = line.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos) continue;
    std::string start = line.substr(first, 11);
    for (char& c : start) c = static_cast<char>(tolower(c));
    if (start.compare(0, 5, "data_") == 0 ||
        start.compare(0, 5, "loop_") == 0 || start == "_atom_site.")
      return false;
  }
  return true;
}

size_t reference_record_count(const std::string& coordinates) {
  size_t count = 0;
  for (const std::string& line : split_lines(coordinates))
    count += is_record(line);
  return count;
}

std::string reference_records(const std::string& coordinates,
                              const float centre[3], const float matrix[4][3]) {
  std::string out;
  for (const std::string& line : split_lines(coordinates)) {
    if (!is_record(line)) continue;
    std::string ending;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
      ending = "\r\n";
    else if (line.back() == '\n')
      ending = "\n";
    const std::string content = line.substr(0, line.size() - ending.size());
    std::string padded = content;
    if (padded.size() < 54) padded.resize(54, ' ');
    double old[3];
    for (int k = 0; k < 3; ++k)
      old[k] = strtod(padded.substr(30 + 8 * k, 8).c_str(), nullptr);
    const double x = old[0] - static_cast<double>(centre[0]);
    const double y = old[1] - static_cast<double>(centre[1]);
    const double z = old[2] - static_cast<double>(centre[2]);
    std::string fields;
    for (int row = 1; row <= 3; ++row) {
      double value = static_cast<double>(matrix[row][0]) * x;
      value = value + static_cast<double>(matrix[row][1]) * y;
      value = value + static_cast<double>(matrix[row][2]) * z;
      value = value + static_cast<double>(matrix[0][row - 1]);
      fields += percent_8_3f(value);
    }
    if (content.size() >= 54)
      out += line.substr(0, 30) + fields + line.substr(54);
    else
      out += padded.substr(0, 30) + fields + ending;
  }
  return out;
}

bool reference_matrix(const std::string& text, float centre[3],
                      float matrix[4][3]) {
  const std::vector<std::string> lines = split_lines(text);
  if (lines.size() < 5) return false;
  float* rows[5] = {centre, matrix[0], matrix[1], matrix[2], matrix[3]};
  for (int i = 0; i < 5; ++i) {
    float* row = rows[i];
    if (sscanf(lines[i].c_str(), "%f %f %f", &row[0], &row[1], &row[2]) != 3)
      return false;
  }
  return true;
}
