// A small program that shows how a caller uses dinfo: it writes a sample
// information file with the writer, then asks every export about it.
#include <cstdio>
#include <string>

#include "dinfo/dinfo.h"
#include "writer/writer.h"

namespace {

using namespace dinfo::writer;

Bytes SampleFile() {
  InfoFile file = NewInfoFile();
  AddRecord(file, MainSectionKey, 1000, KeyedRecord(SingleValues(4, 1, 2, PackValues({0, 3}, 4))));
  KeyedBlock named;
  named.valueType = 264;
  named.valuesPerRow = 1;
  named.rows = {{{}, PackNamedEntry(1, "flatbed", 2)}, {{}, PackNamedEntry(2, "feeder", 3)}};
  AddRecord(file, MainSectionKey, 1001, KeyedRecord(named));
  AddRecord(file, MainSectionKey, 1002,
            KeyedRecord(SingleValues(4, 3, 2, PackValues({300, 600, 1200, 2400, 4800, 9600}, 4))));
  KeyedBlock category;
  category.keyIndex = {1};
  category.rows = {{{1}, PackValues({7, 0, 0}, 4)}};
  AddRecord(file, MainSectionKey, 1003, KeyedRecord(category));
  AddRecord(file, MainSectionKey, 7, KeyedRecord(SingleValues(4, 3, 1, PackValues({10, 20, 30}, 4))));
  return Finish(file);
}

}  // namespace

int main(int argc, char **argv) {
  const std::string path = argc > 1 ? argv[1] : "sample.dat";
  if (!WriteBytes(path, SampleFile())) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("wrote %s\n", path.c_str());
  std::printf("DIGetTableFormatType: %d\n", DIGetTableFormatType(path.c_str(), nullptr));

  NamedEntry named[16];
  IntegerTriplet triplets[16];
  std::int16_t namedCount = 0, tripletCount = 0;
  const std::int16_t main =
      DIGetMainInfo(path.c_str(), nullptr, named, triplets, &namedCount, &tripletCount);
  std::printf("DIGetMainInfo: %d (%d named entries, %d triplets)\n", main, namedCount, tripletCount);
  for (int i = 0; i < namedCount; ++i) {
    std::printf("  %d %s %d\n", named[i].leadingValue, reinterpret_cast<char *>(named[i].name),
                named[i].trailingValue);
  }
  const std::int16_t v = DIGetCategoryInfoV(path.c_str(), nullptr, 1, nullptr, triplets, 0);
  std::printf("DIGetCategoryInfoV(selector 1): %d\n", v);
  for (int i = 0; i < v; ++i) {
    std::printf("  %d %d %d\n", triplets[i].values[0], triplets[i].values[1], triplets[i].values[2]);
  }
  std::printf("DIGetCategoryInfoS(selector 1): %d\n",
              DIGetCategoryInfoS(path.c_str(), nullptr, 1, nullptr, named, 0));
  void *table = DIGetTable(path.c_str(), nullptr, 1, nullptr, 0);
  std::printf("DIGetTable(selector 1): %s\n", table != nullptr ? "a table" : "null");
  DIFreeTable(table);
  return 0;
}
