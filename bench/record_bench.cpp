// Micro-benchmarks of the per-record work: parsing the coordinate fields of
// one record and writing one record.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "atom_records.h"

namespace {

// A record in the usual columns: x, y and z at offsets 30, 38 and 46.
const std::string kRecord =
    "ATOM   1234  CA  GLN A 123     -12.3451034.567   7.890  1.00 48.14"
    "           C  \n";

void ParseRecord(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(kRecord.data());
    const bool atom = is_atom_record(kRecord.data(), kRecord.size());
    const size_t content =
        kRecord.size() - terminator_length(kRecord.data(), kRecord.size());
    double xyz[3];
    read_coordinate_fields(kRecord.data(), content, kXOffset, xyz);
    benchmark::DoNotOptimize(atom);
    benchmark::DoNotOptimize(xyz);
  }
}
BENCHMARK(ParseRecord);

void WriteRecord(benchmark::State& state) {
  const size_t count = 4096;
  std::vector<Coor3f> atoms(count);
  for (size_t i = 0; i < count; ++i)
    atoms[i] = {-12.345 + static_cast<double>(i) * 0.001, 1034.5671, 7.8904999};
  // The records one after another in one text, as in a file.
  std::string text;
  for (size_t i = 0; i < count; ++i) text += kRecord;
  RecordLines records;
  for (size_t i = 0; i < count; ++i)
    append_line(records, std::string_view(text).substr(i * kRecord.size(),
                                                       kRecord.size()));
  FILE* null = fopen("/dev/null", "w");
  for (auto _ : state) write_atom_records(atoms, records, {}, null);
  fclose(null);
  release_lines(records);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK(WriteRecord);

}  // namespace

BENCHMARK_MAIN();
