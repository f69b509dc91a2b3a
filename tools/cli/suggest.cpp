#include "suggest.h"

#include <algorithm>

namespace dinfo::cli {
namespace {

constexpr std::size_t MaxEdits = 2;

// Edits between two words: insertions, deletions, substitutions, and two
// neighbours swapped ("u61" for "u16"), each counted once.
std::size_t EditDistance(const std::string &a, const std::string &b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t substitution = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + substitution});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string NearestChoice(const std::string &word, const std::vector<std::string> &choices) {
  std::string nearest;
  std::size_t best = std::min(MaxEdits + 1, word.size());
  for (const std::string &choice : choices) {
    const std::size_t distance = EditDistance(word, choice);
    if (distance < best) best = distance, nearest = choice;
  }
  return nearest;
}

std::string DidYouMean(const std::string &word, const std::vector<std::string> &choices) {
  const std::string nearest = NearestChoice(word, choices);
  return nearest.empty() ? "" : " (did you mean '" + nearest + "'?)";
}

}  // namespace dinfo::cli
