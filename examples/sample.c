/* dinfo's sample program: asks an information file every question the six
 * exports answer and prints each answer, a failure by its status name.
 *
 *   sample FILE          calls the exports through the import library
 *                        (dinfo.lib, libdinfo.dll.a, or libdinfo.so)
 *
 * Built with SAMPLE_LOAD_LIBRARY defined (Windows only), it links nothing
 * of dinfo: it loads dinfo.dll itself with LoadLibrary and finds each
 * export with GetProcAddress, by name, or by ordinal when asked:
 *
 *   sample-load FILE
 *   sample-load --ordinal FILE
 *
 * Either way it prints the same answers. It is written for sample.dat,
 * made from sample.json: that file's V category answers in integer
 * triplets, its S category in named entries, and the conditions below are
 * those it keys on (`dinfo conditions sample.dat` lists them). */
#include <stdio.h>
#include <string.h>

#if defined(SAMPLE_LOAD_LIBRARY)
#  include <windows.h>
#endif

#include "dinfo/dinfo.h"
#include "dinfo/table.h"

/* The six exports, however they were found. */
typedef struct Exports {
  DIGetTableFormatTypeFn getTableFormatType;
  DIGetMainInfoFn getMainInfo;
  DIGetCategoryInfoVFn getCategoryInfoV;
  DIGetCategoryInfoSFn getCategoryInfoS;
  DIGetTableFn getTable;
  DIFreeTableFn freeTable;
} Exports;

/* A result: 0 or more as it is, a status code with its name and cause. */
static void PrintResult(const char *question, long result) {
  const char *name = di_status_name((int32_t)result);
  if (name != NULL) {
    printf("%s: %ld %s (%s)\n", question, result, name, di_status_cause((int32_t)result));
  } else {
    printf("%s: %ld\n", question, result);
  }
}

static void PrintNamed(const NamedEntry *entries, long count) {
  long i;
  for (i = 0; i < count; ++i) {
    printf("  %ld \"%.256s\" %ld\n", (long)entries[i].leadingValue, (const char *)entries[i].name,
           (long)entries[i].trailingValue);
  }
}

static void PrintTriplets(const IntegerTriplet *triplets, long count) {
  long i;
  for (i = 0; i < count; ++i) {
    printf("  %ld %ld %ld\n", (long)triplets[i].values[0], (long)triplets[i].values[1],
           (long)triplets[i].values[2]);
  }
}

/* The arrays are large (see "Sizing the output arrays" in dinfo.h): static,
 * never on the stack. A category answer is one type or the other. */
static NamedEntry mainNamed[DI_MAIN_NAMED_MAX];
static IntegerTriplet mainTriplets[DI_MAIN_TRIPLETS_MAX];
static union {
  IntegerTriplet triplets[DI_CATEGORY_TRIPLETS_MAX];
  NamedEntry named[DI_CATEGORY_NAMED_MAX];
} category;

/* Every export once on FILE, then three questions that fail. Returns 0
 * when every answer came as the sample file gives it. */
static int Ask(const Exports *dinfo, const char *file) {
  int16_t namedCount = 0, tripletCount = 0, result;
  ConditionPair categoryConditions[2] = {{7, 0, {0, 0, 0, 0}}, {8, 2, {0, 0, 0, 0}}};
  ConditionPair tableCondition = {9, 0, {0, 0, 0, 0}};
  ConditionPair missingRow = {7, 5, {0, 0, 0, 0}};
  ConditionPair outOfRange = {300, 0, {0, 0, 0, 0}};
  void *block;
  DITable table;
  int failures = 0;

  int32_t formatType = dinfo->getTableFormatType(file, NULL);
  PrintResult("DIGetTableFormatType", formatType);
  failures += formatType < 0;

  result = dinfo->getMainInfo(file, NULL, mainNamed, mainTriplets, &namedCount, &tripletCount);
  PrintResult("DIGetMainInfo", result);
  printf("  %d named entries, %d triplets\n", namedCount, tripletCount);
  PrintNamed(mainNamed, namedCount);
  PrintTriplets(mainTriplets, tripletCount);
  failures += result != 0;

  result = dinfo->getCategoryInfoV(file, NULL, 1, categoryConditions, &category, 2);
  PrintResult("DIGetCategoryInfoV selector 1, 7=0, 8=2 (integer triplets)", result);
  PrintTriplets(category.triplets, result);
  failures += result < 0;

  result = dinfo->getCategoryInfoS(file, NULL, 1, NULL, &category, 0);
  PrintResult("DIGetCategoryInfoS selector 1 (named entries)", result);
  PrintNamed(category.named, result);
  failures += result < 0;

  /* The table is the caller's until DIFreeTable; dinfo/table.h reads it. */
  block = dinfo->getTable(file, NULL, 1, &tableCondition, 1);
  if (block != NULL && di_table_open(block, DI_TABLE_SIZE_FROM_HEADER, &table)) {
    printf("DIGetTable selector 1, 9=0: a table of %lu bytes, %lu entries, %s\n",
           (unsigned long)table.totalSize, (unsigned long)table.descriptorCount,
           table.bigEndian ? "big-endian" : "little-endian");
  } else {
    printf("DIGetTable selector 1, 9=0: no table\n");
    ++failures;
  }
  dinfo->freeTable(block);
  printf("DIFreeTable: given back\n");

  /* Failures, each reported by its status code (DIGetTable by null). */
  result = dinfo->getCategoryInfoV(file, NULL, 1, &missingRow, &category, 1);
  PrintResult("DIGetCategoryInfoV selector 1, 7=5", result);
  failures += result >= 0;
  formatType = dinfo->getTableFormatType("missing.dat", NULL);
  PrintResult("DIGetTableFormatType missing.dat", formatType);
  failures += formatType != ErrOpenFile;
  block = dinfo->getTable(file, NULL, 1, &outOfRange, 1);
  printf("DIGetTable selector 1, 300=0: %s\n", block != NULL ? "a table" : "null");
  failures += block != NULL;
  dinfo->freeTable(block);
  return failures == 0 ? 0 : 1;
}

#if defined(SAMPLE_LOAD_LIBRARY)
typedef void (*AnyFunction)(void);

/* An export by name, or by its ordinal (dinfo.def: 2 to 7). */
static AnyFunction Find(HMODULE dll, const char *name, WORD ordinal, int byOrdinal, int *missing) {
  FARPROC address = GetProcAddress(dll, byOrdinal ? MAKEINTRESOURCEA(ordinal) : name);
  if (address == NULL) {
    fprintf(stderr, "dinfo.dll has no %s (ordinal %u)\n", name, (unsigned)ordinal);
    *missing = 1;
  }
  return (AnyFunction)address;
}
#endif

int main(int argc, char **argv) {
  Exports dinfo;
  const char *file = argc == 2 ? argv[1] : NULL;
#if defined(SAMPLE_LOAD_LIBRARY)
  HMODULE dll;
  int byOrdinal = argc == 3 && strcmp(argv[1], "--ordinal") == 0, missing = 0, answer;
  if (byOrdinal) file = argv[2];
#endif
  if (file == NULL) {
    fprintf(stderr, "usage: %s%s FILE\n", argv[0],
#if defined(SAMPLE_LOAD_LIBRARY)
            " [--ordinal]"
#else
            ""
#endif
    );
    return 2;
  }
#if defined(SAMPLE_LOAD_LIBRARY)
  /* Windows looks for dinfo.dll beside the program first. */
  dll = LoadLibraryA("dinfo.dll");
  if (dll == NULL) {
    fprintf(stderr, "dinfo.dll did not load (error %lu)\n", (unsigned long)GetLastError());
    return 3;
  }
  dinfo.getTableFormatType = (DIGetTableFormatTypeFn)Find(dll, "DIGetTableFormatType", 2, byOrdinal, &missing);
  dinfo.getMainInfo = (DIGetMainInfoFn)Find(dll, "DIGetMainInfo", 3, byOrdinal, &missing);
  dinfo.getCategoryInfoV = (DIGetCategoryInfoVFn)Find(dll, "DIGetCategoryInfoV", 4, byOrdinal, &missing);
  dinfo.getCategoryInfoS = (DIGetCategoryInfoSFn)Find(dll, "DIGetCategoryInfoS", 5, byOrdinal, &missing);
  dinfo.getTable = (DIGetTableFn)Find(dll, "DIGetTable", 6, byOrdinal, &missing);
  dinfo.freeTable = (DIFreeTableFn)Find(dll, "DIFreeTable", 7, byOrdinal, &missing);
  if (missing) {
    FreeLibrary(dll);
    return 3;
  }
  printf("dinfo.dll loaded, exports found by %s\n", byOrdinal ? "ordinal" : "name");
  answer = Ask(&dinfo, file);
  FreeLibrary(dll);
  return answer;
#else
  dinfo.getTableFormatType = DIGetTableFormatType;
  dinfo.getMainInfo = DIGetMainInfo;
  dinfo.getCategoryInfoV = DIGetCategoryInfoV;
  dinfo.getCategoryInfoS = DIGetCategoryInfoS;
  dinfo.getTable = DIGetTable;
  dinfo.freeTable = DIFreeTable;
  printf("dinfo linked\n");
  return Ask(&dinfo, file);
#endif
}
