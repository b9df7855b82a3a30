// Writes a large PDB coordinate file for benchmarks, deterministically: the
// ATOM records of a template structure tiled over a grid of shifts, with the
// template's other records (HETATM, TER, ...) kept in between, some lines
// ending in CR LF and some coordinates of 1000 and more.
//
// usage: make_structure TEMPLATE RECORDS > big.pdb
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: make_structure template.pdb records\n", stderr);
    return 1;
  }
  FILE* in = fopen(argv[1], "r");
  if (in == nullptr) {
    perror(argv[1]);
    return 1;
  }
  std::vector<std::string> lines;
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, in)) > 0) {
    std::string text(line, static_cast<size_t>(length));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
      text.pop_back();
    const bool atom = text.compare(0, 4, "ATOM") == 0;
    if ((atom && text.size() >= 54) || text.compare(0, 6, "HETATM") == 0 ||
        text.compare(0, 3, "TER") == 0)
      lines.push_back(text);
  }
  free(line);
  fclose(in);

  const long records = atol(argv[2]);
  long written = 0;
  for (long tile = 0; written < records; ++tile) {
    // Shifts keep every coordinate inside its eight-byte field (the
    // template spans about 0 to 60) and put some at 1000 and beyond.
    const double dx = static_cast<double>(tile % 18) * 60.0 - 120.0;
    const double dy = static_cast<double>((tile / 18) % 18) * 55.0 - 400.0;
    const double dz = static_cast<double>((tile / 324) % 50) * 20.0;
    for (size_t i = 0; i < lines.size() && written < records; ++i) {
      std::string text = lines[i];
      const bool atom = text.compare(0, 4, "ATOM") == 0;
      if (atom) {
        char fields[64];
        const double x = strtod(text.substr(30, 8).c_str(), nullptr) + dx;
        const double y = strtod(text.substr(38, 8).c_str(), nullptr) + dy;
        const double z = strtod(text.substr(46, 8).c_str(), nullptr) + dz;
        snprintf(fields, sizeof fields, "%8.3f%8.3f%8.3f", x, y, z);
        text.replace(30, 24, fields, 24);
        ++written;
      }
      const char* ending =
          (i + static_cast<size_t>(tile)) % 16 == 0 ? "\r\n" : "\n";
      fputs(text.c_str(), stdout);
      fputs(ending, stdout);
    }
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
