#include "commands/structure.h"

#include <iostream>

#include "commands/check.h"
#include "formats/file_structure.h"
#include "outputs/structure_text.h"

namespace dinfo::cli {

int RunInspect(const InspectOptions &options) {
  if (options.check) {
    CheckOptions check;
    check.files = {options.file.ResolvedPath()};
    check.shownNames = {options.file.standardInput ? options.file.Describe() : options.file.ResolvedPath()};
    check.json = options.json;
    check.settings.all = options.all;
    return RunCheck(check);
  }
  const ArrayViews views = ArrayViews::FromOptions(options.views);
  if (views.NamesEntries()) {
    throw CliError(ExitUsage, "--as: inspect reads every array of a width alike (--as u16); "
                              "a view for one entry is for the table command");
  }
  Json inspection = InspectInformationFile(options.file.ResolvedPath(), true, views);
  if (options.file.standardInput) inspection["file"] = options.file.Describe();
  if (options.json) {
    std::cout << ToText(inspection) << "\n";
  } else {
    std::cout << RenderInspection(inspection, options.all);
  }
  return ExitOk;
}

}  // namespace dinfo::cli
