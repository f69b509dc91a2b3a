// Near misses: a mistyped command, option or value is answered with the
// one it most likely meant.
#ifndef DINFO_TOOLS_CLI_SUGGEST_H
#define DINFO_TOOLS_CLI_SUGGEST_H

#include <string>
#include <vector>

namespace dinfo::cli {

// The choice nearest to `word` when it is a near miss (at most two edits,
// and fewer than the word's length), else empty.
std::string NearestChoice(const std::string &word, const std::vector<std::string> &choices);

// " (did you mean '--selector'?)", or empty when nothing is near.
std::string DidYouMean(const std::string &word, const std::vector<std::string> &choices);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_SUGGEST_H
