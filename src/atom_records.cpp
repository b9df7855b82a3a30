#include "atom_records.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

std::vector<Coor3f> atom;
std::vector<std::string> lines;

static bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

bool is_atom_record(const char* line, size_t length) {
  size_t i = 0;
  while (i < length && is_white_space(line[i])) ++i;
  return length - i >= 4 && memcmp(line + i, "ATOM", 4) == 0;
}

size_t terminator_length(const char* line, size_t length) {
  if (length == 0 || line[length - 1] != '\n') return 0;
  return length >= 2 && line[length - 2] == '\r' ? 2 : 1;
}

double read_coordinate(const char* content, size_t content_length,
                       size_t offset) {
  char field[kFieldWidth + 1];
  for (size_t i = 0; i < kFieldWidth; ++i)
    field[i] = offset + i < content_length ? content[offset + i] : ' ';
  field[kFieldWidth] = '\0';
  return strtod(field, nullptr);
}

int read_atom_records(const char* path, std::vector<Coor3f>& atom,
                      std::vector<std::string>& lines) {
  FILE* file = fopen(path, "r");
  if (file == nullptr) return errno;
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, file)) >= 0) {
    const size_t n = static_cast<size_t>(length);
    if (!is_atom_record(line, n)) continue;
    const size_t content = n - terminator_length(line, n);
    atom.push_back({read_coordinate(line, content, kXOffset),
                    read_coordinate(line, content, kYOffset),
                    read_coordinate(line, content, kZOffset)});
    lines.emplace_back(line, n);
  }
  // getline gives -1 on end of file, on a read error and when it runs out
  // of memory; only the first of these is a clean end.
  const int error = feof(file) && !ferror(file) ? 0 : (errno != 0 ? errno : EIO);
  free(line);
  fclose(file);
  return error;
}

static void write_coordinate(double value, FILE* out) {
  fprintf(out, "%8.3f", value);
}

void write_atom_records(const std::vector<Coor3f>& atom,
                        const std::vector<std::string>& lines, FILE* out) {
  static const char blanks[kHeadLength + 1] = "                              ";
  for (size_t i = 0; i < atom.size(); ++i) {
    const std::string& line = lines[i];
    const size_t content = line.size() - terminator_length(line.data(), line.size());
    if (content >= kTailOffset) {
      fwrite(line.data(), 1, kHeadLength, out);
    } else {
      // A short record: its head padded with blanks, its fields rewritten
      // in full, then only its own terminator.
      const size_t head = content < kHeadLength ? content : kHeadLength;
      fwrite(line.data(), 1, head, out);
      fwrite(blanks, 1, kHeadLength - head, out);
    }
    write_coordinate(atom[i].x, out);
    write_coordinate(atom[i].y, out);
    write_coordinate(atom[i].z, out);
    const size_t tail = content >= kTailOffset ? kTailOffset : content;
    fwrite(line.data() + tail, 1, line.size() - tail, out);
  }
}
