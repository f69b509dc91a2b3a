#include "infofile/information_file.h"
#include "interface/frame.h"

// The format type is reported without a status check, so a file that marks
// itself unusable still tells its format type.
extern "C" DI_API int32_t DIGetTableFormatType(const char *fileName, const DIWideChar *folder) {
  return dinfo::RunExport(fileName, folder, {false, false},
                          [](dinfo::ExportFile &file) { return dinfo::GetFormatType(file); });
}

extern "C" DI_API void DIFreeTable(void *table) {
  if (table != nullptr) GlobalFree(table);
}
