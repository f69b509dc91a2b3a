#include "commands/inspect.h"

#include <iostream>

#include "commands/check.h"
#include "formats/inspection.h"
#include "outputs/inspection_text.h"

namespace dinfo::cli {

int RunInspect(const InspectOptions &options) {
  if (options.check) {
    CheckOptions check;
    check.files = {options.file.ResolvedPath()};
    check.json = options.json;
    check.settings.all = options.all;
    return RunCheck(check);
  }
  const Json inspection = InspectInformationFile(options.file.ResolvedPath());
  if (options.json) {
    std::cout << ToText(inspection) << "\n";
  } else {
    std::cout << RenderInspection(inspection, options.all);
  }
  return ExitOk;
}

}  // namespace dinfo::cli
