// DIGetTableFormatType on the input as an information file (after the
// query bytes, of which only the flags count here). Any int32 may come
// back (a stored format type of either sign), ErrOpenFile included, so a
// file that did not open is told from one that stores that number by the
// file itself: the harness opens the file it wrote and reads the format
// type stored in it. Nothing may be held.
#include "fuzz_support.h"
#include "interface/frame.h"

namespace {

// The format type the file holds, read from a handle of the harness's own;
// the file must open.
std::int32_t StoredFormatType(const DIWideChar *folder) {
  HANDLE handle = dinfo::OpenForExport(dinfo::fuzz::FileName, folder);
  dinfo::fuzz::Require(handle != nullptr, "the written file did not open");
  std::int32_t stored = 0;
  {
    dinfo::ExportFile file(handle);
    stored = dinfo::GetFormatType(file);
  }
  CloseHandle(handle);
  return stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  Query query{};
  const DIWideChar *folder = TakeInput(data, size, &query);
  if (folder == nullptr) return 0;
  const Holdings before = Held();
  const std::int32_t result = DIGetTableFormatType(FileName, folder);
  RequireHeld(before);
  if (result == ErrOpenFile) {
    Require(StoredFormatType(folder) == ErrOpenFile, "the written file did not open");
  }
  return 0;
}
