#include "interface/frame.h"
#include "interface/status_codes.h"

namespace dinfo {
namespace {

std::int16_t GetCategoryInfo(const char *fileName, const DIWideChar *folder, std::int32_t selector,
                             const ConditionPair *pairs, void *entries, std::int16_t pairCount,
                             CategoryVariant variant) {
  return static_cast<std::int16_t>(
      RunExport(fileName, folder, {true, true}, [&](ExportFile &file) -> std::int32_t {
        ConditionVector vector;
        if (!BuildConditionVector(selector, pairs, pairCount, &vector)) return ErrConditionIndex;
        return CategoryCode(GatherCategory(file, vector, variant, entries));
      }));
}

}  // namespace
}  // namespace dinfo

extern "C" DI_API int16_t DIGetCategoryInfoV(const char *fileName, const DIWideChar *folder,
                                             int32_t selector, const ConditionPair *pairs,
                                             void *entries, int16_t pairCount) {
  return dinfo::GetCategoryInfo(fileName, folder, selector, pairs, entries, pairCount,
                                dinfo::CategoryVariant::V);
}

extern "C" DI_API int16_t DIGetCategoryInfoS(const char *fileName, const DIWideChar *folder,
                                             int32_t selector, const ConditionPair *pairs,
                                             void *entries, int16_t pairCount) {
  return dinfo::GetCategoryInfo(fileName, folder, selector, pairs, entries, pairCount,
                                dinfo::CategoryVariant::S);
}
