#include "analysis/problem_codes.h"

#include <stdexcept>

namespace dinfo::cli {

const ProblemCode &FindProblemCode(const std::string &code) {
  for (const ProblemCode &entry : ProblemCodes) {
    if (code == entry.code) return entry;
  }
  throw std::logic_error("no problem code " + code);
}

const char *SeverityName(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

}  // namespace dinfo::cli
