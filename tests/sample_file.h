// One information file that exercises every export, shared by the tests
// that run all exports at once (fault injection, concurrency): keyed
// blocks of every kind along chains, both main lists, category lists of
// triplets and of texts, and table locators by selector.
#ifndef DINFO_TESTS_SAMPLE_FILE_H
#define DINFO_TESTS_SAMPLE_FILE_H

#include <vector>

#include "writer/writer.h"

namespace dinfo::test {

// What the exports answer for the sample file.
constexpr std::int32_t SampleFormatType = 4;
constexpr std::int16_t SampleNamedCount = 2;
constexpr std::int16_t SampleTripletCount = 2;
// With selector 1 and no pairs: records 7 and 9 (three triplets), and
// records 20 and 21 (three texts).
constexpr std::int16_t SampleCategoryVCount = 3;
constexpr std::int16_t SampleCategorySCount = 3;
// Selectors 1 to SampleTableCount each locate one table object: 1 a plain
// one with every kind of entry, 2 and 3 compressed (delta-coded first,
// scrambled after) in either byte order, 4 a parent whose nested table is
// compressed and must be spliced, 5 the same two levels deeper.
constexpr std::int32_t SampleTableCount = 5;

writer::InfoFile SampleFile();

// The stored table objects of the sample file, by selector from 1.
std::vector<writer::Bytes> SampleTables();

// What DIGetTable returns for the table of a selector.
writer::Bytes SamplePreparedTable(std::int32_t selector);


}  // namespace dinfo::test

#endif  // DINFO_TESTS_SAMPLE_FILE_H
