// Writes a large PDB coordinate file for benchmarks, deterministically: the
// ATOM records of a template structure tiled over a grid of shifts, with the
// template's other records (HETATM, TER, ...) kept in between, some lines
// ending in CR LF and some coordinates of 1000 and more.
//
// With --mmcif, the same atoms with the same coordinates as an mmCIF file in
// the archive's layout: a data_ line, then the _atom_site loop of the
// archive's 21 columns, one row a line, each column left-aligned to one
// width (about 100 bytes a row). TER records have no row there.
//
// usage: make_structure [--mmcif] TEMPLATE RECORDS > big.pdb
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The archive's _atom_site columns, in its order, each with the width its
// values are padded to here.
struct Column {
  const char* tag;
  int width;
};
static constexpr Column kColumns[] = {
    {"group_PDB", 6},         {"id", 0},  // id: as wide as the last serial
    {"type_symbol", 2},       {"label_atom_id", 4},
    {"label_alt_id", 1},      {"label_comp_id", 3},
    {"label_asym_id", 1},     {"label_entity_id", 1},
    {"label_seq_id", 4},      {"pdbx_PDB_ins_code", 1},
    {"Cartn_x", 8},           {"Cartn_y", 8},
    {"Cartn_z", 8},           {"occupancy", 4},
    {"B_iso_or_equiv", 6},    {"pdbx_formal_charge", 1},
    {"auth_seq_id", 4},       {"auth_comp_id", 3},
    {"auth_asym_id", 1},      {"auth_atom_id", 4},
    {"pdbx_PDB_model_num", 1}};

// The record's columns [start, start + length), 0-based, without blanks;
// `unknown` when that leaves nothing.
static std::string field(const std::string& record, size_t start, size_t length,
                         const char* unknown) {
  std::string text = start < record.size() ? record.substr(start, length) : "";
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return unknown;
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// One _atom_site row for a fixed-column ATOM or HETATM record.
static void put_mmcif_row(const std::string& record, long id, int id_width) {
  const bool atom = record.compare(0, 4, "ATOM") == 0;
  std::string name = field(record, 12, 4, "?");
  if (name.find('\'') != std::string::npos) name = '"' + name + '"';
  const std::string values[] = {atom ? "ATOM" : "HETATM",
                                std::to_string(id),
                                field(record, 76, 2, "?"),
                                name,
                                field(record, 16, 1, "."),
                                field(record, 17, 3, "?"),
                                field(record, 21, 1, "?"),
                                atom ? "1" : "2",
                                atom ? field(record, 22, 4, "?") : ".",
                                field(record, 26, 1, "?"),
                                field(record, 30, 8, "?"),
                                field(record, 38, 8, "?"),
                                field(record, 46, 8, "?"),
                                field(record, 54, 6, "?"),
                                field(record, 60, 6, "?"),
                                field(record, 78, 2, "?"),
                                field(record, 22, 4, "?"),
                                field(record, 17, 3, "?"),
                                field(record, 21, 1, "?"),
                                name,
                                "1"};
  std::string row;
  for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i) {
    row += values[i];
    const int width = i == 1 ? id_width : kColumns[i].width;
    const size_t pad = static_cast<size_t>(width) > values[i].size()
                           ? static_cast<size_t>(width) - values[i].size()
                           : 0;
    row.append(pad + 1, ' ');
  }
  row += '\n';
  fputs(row.c_str(), stdout);
}

int main(int argc, char** argv) {
  const bool mmcif = argc == 4 && strcmp(argv[1], "--mmcif") == 0;
  if (argc != 3 && !mmcif) {
    fputs("usage: make_structure [--mmcif] template.pdb records\n", stderr);
    return 1;
  }
  const char* template_path = argv[argc - 2];
  FILE* in = fopen(template_path, "r");
  if (in == nullptr) {
    perror(template_path);
    return 1;
  }
  std::vector<std::string> lines;
  long template_atoms = 0;
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, in)) > 0) {
    std::string text(line, static_cast<size_t>(length));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
      text.pop_back();
    const bool atom = text.compare(0, 4, "ATOM") == 0;
    if ((atom && text.size() >= 54) || text.compare(0, 6, "HETATM") == 0 ||
        (text.compare(0, 3, "TER") == 0 && !mmcif)) {
      lines.push_back(text);
      template_atoms += atom ? 1 : 0;
    }
  }
  free(line);
  fclose(in);

  const long records = atol(argv[argc - 1]);
  if (template_atoms == 0) {
    fprintf(stderr, "%s: no ATOM records\n", template_path);
    return 1;
  }
  int id_width = 1;
  if (mmcif) {
    // Every row of every tile begun bounds the last serial.
    const long tiles = (records + template_atoms - 1) / template_atoms;
    for (long most = tiles * static_cast<long>(lines.size()); most >= 10;
         most /= 10)
      ++id_width;
    fputs("data_STRUCTURE\n# \nloop_\n", stdout);
    for (const Column& column : kColumns)
      printf("_atom_site.%s \n", column.tag);
  }
  long written = 0;
  long id = 0;
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
      if (mmcif) {
        put_mmcif_row(text, ++id, id_width);
        continue;
      }
      const char* ending =
          (i + static_cast<size_t>(tile)) % 16 == 0 ? "\r\n" : "\n";
      fputs(text.c_str(), stdout);
      fputs(ending, stdout);
    }
  }
  if (mmcif) fputs("# \n", stdout);
  return fflush(stdout) == 0 ? 0 : 1;
}
