#include "xml_check.h"

#include <cctype>
#include <vector>

namespace dinfo::cli::test {
namespace {

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == ':' || c == '.';
}

// An entity starts at text[at] == '&'.
bool EntityAt(const std::string &text, std::size_t at) {
  for (const char *entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
    if (text.compare(at, std::string(entity).size(), entity) == 0) return true;
  }
  return false;
}

}  // namespace

std::size_t CountOccurrences(const std::string &text, const std::string &needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

bool IsWellFormedXml(const std::string &text, std::string *problem) {
  std::vector<std::string> open;
  bool rootSeen = false;
  std::size_t i = 0;
  auto fail = [&](const std::string &what) {
    *problem = what + " at " + std::to_string(i);
    return false;
  };
  while (i < text.size()) {
    if (text[i] == '&') {
      if (!EntityAt(text, i)) return fail("bare '&'");
      ++i;
      continue;
    }
    if (text[i] != '<') {
      if (open.empty() && std::isspace(static_cast<unsigned char>(text[i])) == 0) return fail("text outside the root");
      ++i;
      continue;
    }
    if (text.compare(i, 2, "<?") == 0) {
      const std::size_t end = text.find("?>", i);
      if (end == std::string::npos || rootSeen) return fail("bad declaration");
      i = end + 2;
      continue;
    }
    const bool closing = i + 1 < text.size() && text[i + 1] == '/';
    std::size_t j = i + (closing ? 2 : 1);
    const std::size_t nameStart = j;
    while (j < text.size() && IsNameChar(text[j])) ++j;
    const std::string name = text.substr(nameStart, j - nameStart);
    if (name.empty()) return fail("tag without a name");
    if (closing) {
      while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j])) != 0) ++j;
      if (j >= text.size() || text[j] != '>') return fail("bad closing tag");
      if (open.empty() || open.back() != name) return fail("closing </" + name + "> does not match");
      open.pop_back();
      i = j + 1;
      continue;
    }
    if (open.empty() && rootSeen) return fail("a second root element");
    bool selfClosing = false;
    while (true) {
      while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j])) != 0) ++j;
      if (j >= text.size()) return fail("unterminated tag");
      if (text[j] == '>') break;
      if (text.compare(j, 2, "/>") == 0) {
        selfClosing = true;
        ++j;
        break;
      }
      const std::size_t attributeStart = j;
      while (j < text.size() && IsNameChar(text[j])) ++j;
      if (j == attributeStart || j >= text.size() || text[j] != '=') return fail("bad attribute");
      ++j;
      if (j >= text.size() || (text[j] != '"' && text[j] != '\'')) return fail("unquoted attribute");
      const char quote = text[j++];
      while (j < text.size() && text[j] != quote) {
        if (text[j] == '<') return fail("'<' in an attribute");
        if (text[j] == '&' && !EntityAt(text, j)) return fail("bare '&' in an attribute");
        ++j;
      }
      if (j >= text.size()) return fail("unterminated attribute");
      ++j;
    }
    rootSeen = true;
    if (!selfClosing) open.push_back(name);
    i = j + 1;
  }
  if (!open.empty()) return fail("<" + open.back() + "> is never closed");
  if (!rootSeen) return fail("no root element");
  return true;
}

}  // namespace dinfo::cli::test
