// Information files for the whole-call benchmarks, made with the writer:
// a status record, both main lists, two category records with the records
// they list, and a table locator (a chain of `chainLinks` blocks) that
// names one table object of about `tableSize` bytes, which may be
// delta-coded, compressed, or a parent of two nested tables. `directoryEntries`
// pads the main directory with entries of other records, put before the
// real ones so that every lookup scans all of them.
#ifndef DINFO_BENCH_SAMPLE_FILES_H
#define DINFO_BENCH_SAMPLE_FILES_H

#include <cstdint>
#include <string>

#include "dinfo/dinfo.h"
#include "lzw_data.h"
#include "writer/writer.h"

namespace dinfo::bench {

struct SampleShape {
  std::int32_t directoryEntries = 16;
  std::int32_t chainLinks = 1;
  std::int32_t tableSize = 1024;
  bool scrambled = true;
  bool deltaCoded = false;
  bool compressed = false;
  bool nested = false;  // two nested tables of half the size each
  bool bigEndian = false;
  // The table's bytes: a smooth curve of 16-bit samples, or made-up data
  // of one kind (bench/lzw_data.h).
  bool curve = true;
  LzwData data = LzwData::Text;
};

constexpr std::int32_t SampleSelector = 1;

writer::Bytes MakeSampleFile(const SampleShape &shape);
// The same file with `tableObject` as the table's record, as it is given.
writer::Bytes MakeSampleFileAround(const SampleShape &shape, const writer::Bytes &tableObject);

// A folder of its own for this process's sample files, made on first use.
const std::string &SampleFolder();
// Writes the file into the sample folder (once per name) and returns its name.
std::string SaveSample(const std::string &name, const SampleShape &shape);
std::string SaveSampleBytes(const std::string &name, const writer::Bytes &bytes);

enum class Export { FormatType, MainInfo, CategoryV, CategoryS, Table };

const char *NameOf(Export call);

// The caller's output areas, as large as the exports may fill.
struct Outputs {
  NamedEntry named[200];
  IntegerTriplet triplets[200];
};

// The sample folder as the exports take it.
const DIWideChar *Folder();

// The exports, by address: those this program links, or those of a
// library it loaded itself.
struct Exports {
  decltype(&DIGetTableFormatType) formatType;
  decltype(&DIGetMainInfo) mainInfo;
  decltype(&DIGetCategoryInfoV) categoryV;
  decltype(&DIGetCategoryInfoS) categoryS;
  decltype(&DIGetTable) table;
  decltype(&DIFreeTable) freeTable;
};

const Exports &LinkedExports();

// One call of an export on a sample file; true when it gave the answer the
// sample file holds.
bool Call(const Exports &exports, Export call, const std::string &file, Outputs &out);
inline bool Call(Export call, const std::string &file, Outputs &out) {
  return Call(LinkedExports(), call, file, out);
}

}  // namespace dinfo::bench

#endif  // DINFO_BENCH_SAMPLE_FILES_H
