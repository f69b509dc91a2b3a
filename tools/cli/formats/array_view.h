// Typed arrays carry no sign: a table object says only how wide their
// elements are. A view says how the tool reads them: i8, u8, i16, u16, i32
// or u32. By default every array is read signed (i8, i16, i32), as the
// library widens the values of keyed records; `--as` chooses another view
// for every array of a width ("u16") or for one entry ("3.1=u8"). Every
// output names the view it used.
#ifndef DINFO_TOOLS_CLI_FORMATS_ARRAY_VIEW_H
#define DINFO_TOOLS_CLI_FORMATS_ARRAY_VIEW_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "json_util.h"
#include "tableobj/table_object.h"

namespace dinfo::cli {

struct ArrayView {
  std::int32_t width = 0;  // 1, 2 or 4 bytes
  bool isSigned = true;
};

constexpr const char *ArrayViewNames = "i8, u8, i16, u16, i32 or u32";

std::string ViewName(const ArrayView &view);  // "u16"
std::optional<ArrayView> ArrayViewNamed(const std::string &name);
// The values the view reads: [first, second].
std::pair<std::int64_t, std::int64_t> ViewRange(const ArrayView &view);
// The element at `at`, `view.width` bytes in the object's byte order.
std::int64_t ReadViewed(const std::uint8_t *at, const ArrayView &view, ByteOrder order);

class ArrayViews {
 public:
  // From --as values, "u16" or "3.1=u8"; throws CliError(ExitUsage)
  // naming a bad one.
  static ArrayViews FromOptions(const std::vector<std::string> &options);

  // The view of the array at `entryPath` ("3.1"), whose elements are
  // `width` bytes wide: its own, else its width's.
  ArrayView For(const std::string &entryPath, std::int32_t width) const;
  bool NamesEntries() const { return !byEntry_.empty(); }
  // "arrays as i8, u16, i32; entry 3.1 as u8", for a plot's title.
  std::string Describe() const;
  // Throws CliError(ExitUsage) when a view given for an entry names no
  // array of its width in the table view.
  void CheckEntries(const Json &tableView) const;

 private:
  ArrayView byWidth_[3] = {{1, true}, {2, true}, {4, true}};
  std::map<std::string, ArrayView> byEntry_;
};

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_FORMATS_ARRAY_VIEW_H
