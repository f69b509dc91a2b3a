/* A caller linked as Microsoft's tools link one: built for the MSVC target
 * and linked against dinfo.lib by lld-link, without a C runtime, so it
 * answers by its exit code alone: 0 when the sample (in the folder Dätä
 * beside it) answers as expected, else the number of the first check
 * that failed. */
#include "dinfo/dinfo.h"

static NamedEntry named[DI_MAIN_NAMED_MAX];
static IntegerTriplet triplets[DI_MAIN_TRIPLETS_MAX];

int mainCRTStartup(void) {
  int16_t namedCount = 0, tripletCount = 0;
  ConditionPair pair = {9, 0, {0, 0, 0, 0}};
  void *table;
  if (DIGetTableFormatType("sample.dat", DI_FOLDER("D\u00e4t\u00e4")) != 3) return 1;
  if (DIGetMainInfo("sample.dat", DI_FOLDER("D\u00e4t\u00e4"), named, triplets, &namedCount, &tripletCount) != 0 ||
      namedCount != 3 || tripletCount != 3) {
    return 2;
  }
  if (DIGetTableFormatType("missing.dat", 0) != ErrOpenFile) return 3;
  table = DIGetTable("sample.dat", DI_FOLDER("D\u00e4t\u00e4"), 1, &pair, 1);
  if (table == 0) return 4;
  DIFreeTable(table);
  return 0;
}
