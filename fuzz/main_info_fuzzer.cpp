// DIGetMainInfo on the input as an information file (after the query
// bytes, of which only the flags count here). Both counts must be
// consistent with the result.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  Query query{};
  const DIWideChar *folder = TakeInput(data, size, &query);
  if (folder == nullptr) return 0;
  const Holdings before = Held();
  std::int16_t namedCount = -1;
  std::int16_t tripletCount = -1;
  const std::int16_t result =
      DIGetMainInfo(FileName, folder, NamedEntryList(), TripletList(), &namedCount, &tripletCount);
  RequireHeld(before);
  Require(IsOneOf(result, {0, ErrStatusLookup, ErrFileUnusable, ErrMainInfo}),
          "DIGetMainInfo gave an undocumented result");
  Require(namedCount >= 0 && tripletCount >= 0, "a count is negative");
  if (result == 0) {
    Require(namedCount > 0 && tripletCount > 0, "success with an empty list");
  } else {
    Require(tripletCount == 0, "a failure stored a triplet count");
  }
  return 0;
}
