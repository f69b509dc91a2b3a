// DIGetTableFormatType on the input as an information file (after the
// query bytes, of which only the flags count here). Any int32 may come
// back (a stored format type of either sign); nothing may be held.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  Query query{};
  const DIWideChar *folder = TakeInput(data, size, &query);
  if (folder == nullptr) return 0;
  const Holdings before = Held();
  const std::int32_t result = DIGetTableFormatType(FileName, folder);
  RequireHeld(before);
  Require(result != ErrOpenFile, "the written file did not open");
  return 0;
}
