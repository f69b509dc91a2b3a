// A small well-formedness check of XML documents, enough for the SVG the
// tool writes: one root element, properly nested and closed tags, quoted
// attributes, and no bare '<' or '&' in text.
#ifndef DINFO_TOOLS_CLI_TESTS_XML_CHECK_H
#define DINFO_TOOLS_CLI_TESTS_XML_CHECK_H

#include <cstddef>
#include <string>

namespace dinfo::cli::test {

bool IsWellFormedXml(const std::string &text, std::string *problem);
std::size_t CountOccurrences(const std::string &text, const std::string &needle);

}  // namespace dinfo::cli::test

#endif  // DINFO_TOOLS_CLI_TESTS_XML_CHECK_H
