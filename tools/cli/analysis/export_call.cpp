#include "analysis/export_call.h"

namespace dinfo::cli {

ExportAnswer CallExport(const FileArgument &file, const QuerySpec &spec, ExportBuffers &buffers) {
  const ConditionPair *pairs = spec.pairs.empty() ? nullptr : spec.pairs.data();
  const auto pairCount = static_cast<std::int16_t>(spec.pairs.size());
  ExportAnswer answer;
  switch (spec.kind) {
    case QueryKind::Format: answer.status = DIGetTableFormatType(file.FileName(), file.Folder()); break;
    case QueryKind::Main: {
      std::int16_t namedCount = 0;
      std::int16_t tripletCount = 0;
      answer.status = DIGetMainInfo(file.FileName(), file.Folder(), buffers.named.get(), buffers.triplets.get(),
                                    &namedCount, &tripletCount);
      break;
    }
    case QueryKind::CategoryV:
      answer.status = DIGetCategoryInfoV(file.FileName(), file.Folder(), spec.selector, pairs, buffers.category.get(), pairCount);
      break;
    case QueryKind::CategoryS:
      answer.status = DIGetCategoryInfoS(file.FileName(), file.Folder(), spec.selector, pairs, buffers.category.get(), pairCount);
      break;
    case QueryKind::Table: {
      void *table = DIGetTable(file.FileName(), file.Folder(), spec.selector, pairs, pairCount);
      DIFreeTable(table);
      answer.answered = table != nullptr;
      return answer;
    }
  }
  answer.answered = answer.status >= 0;
  return answer;
}

}  // namespace dinfo::cli
