#include "infofile/information_file.h"
#include "interface/frame.h"

// The format type is reported without a status check, so a file that marks
// itself unusable still tells its format type.
extern "C" DI_API int32_t DIGetTableFormatType(const char *fileName, const DIWideChar *folder) {
  HANDLE file = dinfo::OpenForExport(fileName, folder);
  if (file == nullptr) return ErrOpenFile;
  const std::int32_t formatType = dinfo::GetFormatType(file);
  CloseHandle(file);
  return formatType;
}

extern "C" DI_API void DIFreeTable(void *table) {
  if (table != nullptr) GlobalFree(table);
}
