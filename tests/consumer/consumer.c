/* A C caller of an installed dinfo: asks the sample information file
 * (examples/sample.json) for its format type, main lists and table, and
 * prints them in a form that must not depend on the platform. It runs in
 * the sample's folder, which has a copy of the sample in the folder Dätä,
 * named with DI_FOLDER where the language has 16-bit literals. */
#include <stdio.h>

#include "dinfo/dinfo.h"
#include "dinfo/table.h"

static void PrintTable(const DITable *table, int depth) {
  uint32_t i, k;
  printf("%*stable %s, %lu entries\n", depth, "", table->bigEndian ? "be" : "le",
         (unsigned long)table->descriptorCount);
  for (i = 0; i < table->descriptorCount; ++i) {
    DITableEntry entry;
    DITable nested;
    int32_t value = 0;
    long sum = 0;
    if (!di_table_entry(table, i, &entry)) {
      printf("%*s damaged\n", depth, "");
    } else if (entry.kind == DI_ENTRY_NESTED && di_table_nested(table, &entry, &nested)) {
      PrintTable(&nested, depth + 1);
    } else if (entry.kind == DI_ENTRY_INLINE) {
      printf("%*s inline %ld\n", depth, "", (long)entry.location);
    } else {
      for (k = 0; di_table_element_signed(table, &entry, k, &value); ++k) sum += value;
      printf("%*s kind %d, %lu x %lu, sum %ld\n", depth, "", (int)entry.kind,
             (unsigned long)entry.count, (unsigned long)entry.elementSize, sum);
    }
  }
}

#if defined(DI_FOLDER)
static const DIWideChar *const DataFolder = DI_FOLDER("D\u00e4t\u00e4");
#else
/* C99 outside Windows has no 16-bit literal: the units one by one. */
static const DIWideChar DataFolder[] = {'D', 0xE4, 't', 0xE4, 0};
#endif

int main(int argc, char **argv) {
  static NamedEntry named[DI_MAIN_NAMED_MAX];
  static IntegerTriplet triplets[DI_MAIN_TRIPLETS_MAX];
  int16_t namedCount = 0, tripletCount = 0, status;
  ConditionPair pair = {9, 0, {0, 0, 0, 0}};
  void *block;
  DITable table;
  if (argc != 2) {
    fprintf(stderr, "usage: consumer SAMPLE\n");
    return 2;
  }
  printf("dinfo %s\n", DINFO_VERSION_STRING);
  printf("format type %ld\n", (long)DIGetTableFormatType(argv[1], NULL));
  printf("format type in D\xc3\xa4t\xc3\xa4 %ld\n", (long)DIGetTableFormatType("sample.dat", DataFolder));
  status = (int16_t)DIGetTableFormatType("missing.dat", DataFolder);
  printf("missing file: %d %s (%s)\n", status, di_status_name(status), di_status_cause(status));
  status = DIGetMainInfo(argv[1], NULL, named, triplets, &namedCount, &tripletCount);
  printf("main %d: %d named, %d triplets\n", status, namedCount, tripletCount);
  if (namedCount > 0) printf("first name %.256s\n", (const char *)named[0].name);

  block = DIGetTable(argv[1], NULL, 1, &pair, 1);
  if (!di_table_open(block, DI_TABLE_SIZE_FROM_HEADER, &table)) {
    printf("no table\n");
    return 1;
  }
  PrintTable(&table, 0);
  DIFreeTable(block);
  return 0;
}
