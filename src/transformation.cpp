#include "transformation.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Every product and sum must be rounded to double on its own.
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "floating-point expressions must be evaluated in their own type"
#endif

// Reads one matrix line into three single-precision values. Only glibc's
// own "%f" accepts and rejects exactly what the matrix file format allows.
// Returns false, after reporting, when the line is missing or malformed.
static bool read_matrix_line(FILE* file, const char* path, char** line,
                             size_t* capacity, float values[3]) {
  ssize_t length = getline(line, capacity, file);
  if (length < 0) {
    fprintf(stderr, "Reading error in matrix file %s\n", path);
    return false;
  }
  if (sscanf(*line, "%f %f %f", &values[0], &values[1], &values[2]) != 3) {
    // Echo the line exactly as read, NUL bytes and missing newline included.
    fwrite(*line, 1, static_cast<size_t>(length), stdout);
    // The echo is all there is to see of the line: say so when it is lost.
    const bool echo_lost = fflush(stdout) != 0 || ferror(stdout) != 0;
    const int echo_error = errno;
    fprintf(stderr, "Reading error in matrix file %s\n", path);
    if (echo_lost)
      fprintf(stderr, "decompress-zaduride: standard output: %s\n",
              strerror(echo_error));
    return false;
  }
  return true;
}

bool read_matrix_file(const char* path, float centre[3], float matrix[4][3]) {
  FILE* file = fopen(path, "r");
  if (file == nullptr) {
    fputs("Matrix file does not exist\n", stderr);
    return false;
  }
  // What is read from a pipe is gone from it, and the coordinate file may
  // be the rest of the same stream ("tool /dev/stdin /dev/stdin"): read it
  // a byte at a time, so that nothing past the fifth line is taken. A
  // status that can't be had reads as that of a pipe.
  struct stat status {};
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode))
    setvbuf(file, nullptr, _IONBF, 0);
  char* line = nullptr;
  size_t capacity = 0;
  bool ok = read_matrix_line(file, path, &line, &capacity, centre);
  for (int row = 0; ok && row < 4; ++row)
    ok = read_matrix_line(file, path, &line, &capacity, matrix[row]);
  free(line);
  fclose(file);
  return ok;
}

// The sums of apply_transformation, element by element; compiled once for
// any machine and, on x86, once more for AVX2.
[[gnu::always_inline]] static inline void transform_in_place(
    const float centre[3], const float matrix[4][3], std::span<Coor3f> atom) {
  const double c0 = centre[0], c1 = centre[1], c2 = centre[2];
  const double t0 = matrix[0][0], t1 = matrix[0][1], t2 = matrix[0][2];
  const double r00 = matrix[1][0], r01 = matrix[1][1], r02 = matrix[1][2];
  const double r10 = matrix[2][0], r11 = matrix[2][1], r12 = matrix[2][2];
  const double r20 = matrix[3][0], r21 = matrix[3][1], r22 = matrix[3][2];
  for (Coor3f& a : atom) {
    const double x = a.x - c0;
    const double y = a.y - c1;
    const double z = a.z - c2;
    a.x = ((r00 * x + r01 * y) + r02 * z) + t0;
    a.y = ((r10 * x + r11 * y) + r12 * z) + t1;
    a.z = ((r20 * x + r21 * y) + r22 * z) + t2;
  }
}

void apply_transformation_portable(const float centre[3],
                                   const float matrix[4][3],
                                   std::span<Coor3f> atom) {
  transform_in_place(centre, matrix, atom);
}

#if defined(__x86_64__) || defined(__i386__)
// Four values to a register instead of two: the same products and sums in
// the same order, each rounded on its own (the build never fuses them), so
// the same bits.
[[gnu::target("avx2")]] static void apply_transformation_avx2(
    const float centre[3], const float matrix[4][3], std::span<Coor3f> atom) {
  transform_in_place(centre, matrix, atom);
}
#endif

void apply_transformation(const float centre[3], const float matrix[4][3],
                          std::span<Coor3f> atom) {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2"))
    return apply_transformation_avx2(centre, matrix, atom);
#endif
  apply_transformation_portable(centre, matrix, atom);
}
