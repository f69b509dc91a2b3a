#include "commands/inspect.h"

#include <iostream>

#include "formats/inspection.h"
#include "outputs/inspection_text.h"

namespace dinfo::cli {

int RunInspect(const InspectOptions &options) {
  const ArrayViews views = ArrayViews::FromOptions(options.views);
  if (views.NamesEntries()) {
    throw CliError(ExitUsage, "--as: inspect reads every array of a width alike (--as u16); "
                              "a view for one entry is for the table command");
  }
  Json inspection = InspectInformationFile(options.file.ResolvedPath(), views);
  if (options.file.standardInput) inspection["file"] = options.file.Describe();
  const Json &problems = inspection["problems"];
  if (options.check) {
    if (options.json) {
      std::cout << ToText(Json{{"file", inspection["file"]}, {"problems", problems}}) << "\n";
    } else {
      std::cout << RenderProblems(inspection);
    }
    return problems.empty() ? ExitOk : ExitProblemsFound;
  }
  if (options.json) {
    std::cout << ToText(inspection) << "\n";
  } else {
    std::cout << RenderInspection(inspection, options.all);
  }
  return ExitOk;
}

}  // namespace dinfo::cli
