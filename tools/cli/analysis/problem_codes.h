// The problems `check` (and `inspect`) report, each with a stable code and
// a severity. An error means some query of the file fails, or answers
// wrongly, for every caller; a warning names something a file may mean
// but seldom does. tools/cli/README.md shows the same table.
#ifndef DINFO_TOOLS_CLI_ANALYSIS_PROBLEM_CODES_H
#define DINFO_TOOLS_CLI_ANALYSIS_PROBLEM_CODES_H

#include <string>

namespace dinfo::cli {

enum class Severity { Error, Warning };

struct ProblemCode {
  const char *code;
  Severity severity;
  const char *meaning;
};

inline constexpr ProblemCode ProblemCodes[] = {
    {"file-unreadable", Severity::Error, "the file cannot be read at all"},
    {"file-too-short", Severity::Error, "the file is shorter than its first 12 bytes"},
    {"section-unreadable", Severity::Error, "a section's directory does not read"},
    {"record-unreadable", Severity::Error, "a record's offset or size does not read"},
    {"record-damaged", Severity::Error, "a keyed record's header disagrees with its bytes"},
    {"table-damaged", Severity::Error, "a table object's header, entries or codings are faulty"},
    {"status-lookup", Severity::Error, "the status record cannot be looked up: every query but the format query fails"},
    {"file-unusable", Severity::Error, "the file status is positive: every query but the format query fails"},
    {"format-type-unreadable", Severity::Error,
     "the format type cannot be read (the status record is disabled, or yields fewer than 2 values without conditions)"},
    {"format-type-negative", Severity::Error, "the stored format type is negative: every query but the format query fails"},
    {"status-value-type", Severity::Warning, "the status record holds values other than int32, which are read as int32"},
    {"main-value-type", Severity::Error, "the main named entries hold values that are neither text nor named entries"},
    {"duplicate-record", Severity::Error, "a record id appears twice in a section: the later entry can never be read"},
    {"foreign-entry", Severity::Warning, "a directory entry names another section: lookups pass over it"},
    {"missing-record", Severity::Error, "a fixed record, chain, list or locator names a record that does not exist"},
    {"not-a-table", Severity::Error, "the locator names a record that is not a table object"},
    {"chain-loop", Severity::Error, "a chain comes back to a record it passed through"},
    {"table-unprepared", Severity::Error, "the library's preparation refuses a table object the locator names"},
    {"mixed-value-types", Severity::Error,
     "a category lists records of different value types: all are read as the first one's type"},
    {"unreachable-record", Severity::Warning, "no fixed record, chain, list or locator reaches the record"},
    {"export-fails", Severity::Error, "a query fails for every condition combination swept"},
    {"selector-fails", Severity::Warning, "a selector that some row names is answered for no combination"},
    {"sweep-cut", Severity::Warning, "the sweep stopped at its bound of calls before every combination was tried"},
};

// The entry of `code`; throws std::logic_error for a code not in the table.
const ProblemCode &FindProblemCode(const std::string &code);

const char *SeverityName(Severity severity);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_PROBLEM_CODES_H
