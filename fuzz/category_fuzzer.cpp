// DIGetCategoryInfoV, or DIGetCategoryInfoS when DINFO_FUZZ_CATEGORY_S is
// defined: the conditions come from the input's first bytes, the rest is
// the information file. The entries go to a list of the larger element
// type, as long as a 16-bit count can reach.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  Query query{};
  const DIWideChar *folder = TakeInput(data, size, &query);
  if (folder == nullptr) return 0;
  const Holdings before = Held();
#if defined(DINFO_FUZZ_CATEGORY_S)
  const std::int16_t result = DIGetCategoryInfoS(FileName, folder, query.selector, query.Pairs(),
                                                 NamedEntryList(), query.pairCount);
#else
  const std::int16_t result = DIGetCategoryInfoV(FileName, folder, query.selector, query.Pairs(),
                                                 NamedEntryList(), query.pairCount);
#endif
  RequireHeld(before);
  Require(result >= 0 || IsOneOf(result, {ErrStatusLookup, ErrFileUnusable, ErrConditionIndex,
                                          ErrNoCategory, ErrCategoryLookup, ErrValueList,
                                          ErrEntryList, ErrRecordDisabled}),
          "a category query gave an undocumented result");
  return 0;
}
