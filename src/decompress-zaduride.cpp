// decompress-zaduride: moves the atom records of a PDB or mmCIF coordinate
// file by the rigid-body transformation of a matrix file and writes them to
// standard output.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "atom_records.h"
#include "coor3f.h"
#include "file_bytes.h"
#include "transformation.h"

static const char kProgram[] = "decompress-zaduride";

// The coordinate file or its records can find no room: end with a message
// and a failure status, having written nothing, rather than an abort.
static void report_out_of_memory() {
  static const char message[] = "decompress-zaduride: out of memory\n";
  // Nothing is left to do if even this fails.
  (void)!write(2, message, sizeof message - 1);
  _exit(1);
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s matrix-file coordinate-file (see man %s)\n",
            kProgram, kProgram);
    return 1;
  }
  std::set_new_handler(report_out_of_memory);
  const char* matrix_path = argv[1];
  const char* coordinate_path = argv[2];

  float centre[3];
  float matrix[4][3];
  if (!read_matrix_file(matrix_path, centre, matrix)) return 1;

  // A read error still lets the records read before it through; running
  // out of room for them writes nothing.
  int read_error = read_atom_records(coordinate_path, atom, lines, mmcif);
  if (read_error == ENOMEM) report_out_of_memory();
  apply_transformation(centre, matrix, items(atom));
  write_atom_records(items(atom), lines, mmcif, stdout);
  // A mapped file's bytes are read up to the last record written; a change
  // to it since it was opened may be in any of them.
  if (read_error == 0 && coordinate_texts_changed()) read_error = kFileChanged;

  int status = 0;
  // Closing flushes what is still buffered; an earlier failed write leaves
  // the error flag set. A standard output that was closed to begin with is
  // no error when there was nothing to write to it.
  const bool write_failed = ferror(stdout) != 0;
  if ((fclose(stdout) != 0 && !(errno == EBADF && atom.size == 0)) ||
      write_failed) {
    fprintf(stderr, "%s: standard output: %s\n", kProgram, strerror(errno));
    status = 1;
  }
  if (read_error != 0) {
    fprintf(stderr, "%s: %s: %s\n", kProgram, coordinate_path,
            coordinate_file_error(read_error));
    status = 1;
  }
  return status;
}
