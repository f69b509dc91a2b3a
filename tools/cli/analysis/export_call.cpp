#include "analysis/export_call.h"

#include <filesystem>

namespace dinfo::cli {

FileArgument ExportArgument(const std::string &path) {
  const std::filesystem::path native = NativePath(path);
  const std::u8string folder = native.parent_path().u8string();
  const std::u8string name = native.filename().u8string();
  FileArgument file;
  file.folder.assign(folder.begin(), folder.end());
  file.name.assign(name.begin(), name.end());
  file.Prepare(true);
  return file;
}

ExportAnswer CallExport(const FileArgument &file, const QueryRequest &request, ExportBuffers &buffers) {
  const ConditionPair *pairs = request.pairs.empty() ? nullptr : request.pairs.data();
  const auto pairCount = static_cast<std::int16_t>(request.pairs.size());
  ExportAnswer answer;
  switch (request.kind) {
    case QueryKind::Format: answer.status = DIGetTableFormatType(file.FileName(), file.Folder()); break;
    case QueryKind::Main: {
      std::int16_t namedCount = 0;
      std::int16_t tripletCount = 0;
      answer.status = DIGetMainInfo(file.FileName(), file.Folder(), buffers.named.get(), buffers.triplets.get(),
                                    &namedCount, &tripletCount);
      break;
    }
    case QueryKind::CategoryV:
      answer.status = DIGetCategoryInfoV(file.FileName(), file.Folder(), request.selector, pairs, buffers.category.get(), pairCount);
      break;
    case QueryKind::CategoryS:
      answer.status = DIGetCategoryInfoS(file.FileName(), file.Folder(), request.selector, pairs, buffers.category.get(), pairCount);
      break;
    case QueryKind::Table: {
      void *table = DIGetTable(file.FileName(), file.Folder(), request.selector, pairs, pairCount);
      DIFreeTable(table);
      answer.answered = table != nullptr;
      return answer;
    }
  }
  answer.answered = answer.status >= 0;
  return answer;
}

}  // namespace dinfo::cli
