// A C++ caller of an installed dinfo, built with warnings of C++ that C
// headers often fail (-Wold-style-cast, -Wzero-as-null-pointer-constant):
// names a folder with DI_FOLDER, names every status code, and reads the
// sample's table. Runs in the sample's folder, as consumer.c does.
#include <cstdio>
#include <type_traits>

#include "dinfo/dinfo.h"
#include "dinfo/table.h"

static_assert(std::is_same<decltype(+DI_FOLDER("x")), const DIWideChar *>::value,
              "DI_FOLDER gives the folder type of the functions");

namespace {

int CountNamedCodes() {
  int named = 0;
#define DINFO_COUNT_CODE(name, code, cause) named += di_status_name(name) != nullptr && di_status_cause(code) != nullptr;
  DI_STATUS_CODES(DINFO_COUNT_CODE)
#undef DINFO_COUNT_CODE
  return named;
}

}  // namespace

int main() {
  std::printf("dinfo %s\n", DINFO_VERSION_STRING);
  std::printf("format type in D\xc3\xa4t\xc3\xa4 %d\n",
              static_cast<int>(DIGetTableFormatType("sample.dat", DI_FOLDER("D\u00e4t\u00e4"))));
  const int16_t status = static_cast<int16_t>(DIGetTableFormatType("missing.dat", nullptr));
  std::printf("missing file: %d %s (%s)\n", status, di_status_name(status), di_status_cause(status));
  std::printf("%d codes named; -2008 %s; 7 %s\n", CountNamedCodes(), di_status_name(-2008),
              di_status_name(7) == nullptr ? "unnamed" : "named");

  ConditionPair pair = {9, 0, {0, 0, 0, 0}};
  void *block = DIGetTable("sample.dat", nullptr, 1, &pair, 1);
  DITable table;
  DITableEntry entry;
  if (di_table_open(block, DI_TABLE_SIZE_FROM_HEADER, &table) == 0 || di_table_entry(&table, 3, &entry) == 0) {
    std::printf("no table\n");
    return 1;
  }
  std::printf("table %s, %u entries; entry 3 nested: %s\n", table.bigEndian ? "be" : "le", table.descriptorCount,
              entry.kind == DI_ENTRY_NESTED ? "yes" : "no");
  DIFreeTable(block);
  return 0;
}
