// One information file that exercises every export, shared by the tests
// that run all exports at once (fault injection, concurrency): keyed
// blocks of every kind along chains, both main lists, category lists of
// triplets and of texts, and table locators by selector.
#ifndef DINFO_TESTS_SAMPLE_FILE_H
#define DINFO_TESTS_SAMPLE_FILE_H

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
// Selectors 1 to SampleTableCount each locate one table object.
constexpr std::int32_t SampleTableCount = 1;

writer::InfoFile SampleFile();

}  // namespace dinfo::test

#endif  // DINFO_TESTS_SAMPLE_FILE_H
