// The shipped library, loaded at run time as a caller loads it.
#include "shipped_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace dinfo::bench {

// The library keeps its symbols to itself (RTLD_LOCAL), so they do not
// meet the test build's copies linked into the program.
const Exports &ShippedExports() {
  static const Exports shipped = [] {
    const char *chosen = std::getenv("DINFO_BENCH_LIBRARY");
    const char *path = chosen != nullptr ? chosen : DINFO_SHIPPED_LIBRARY;
    void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
      std::exit(1);
    }
    const auto find = [library, path](auto &address, const char *name) {
      address = reinterpret_cast<std::remove_reference_t<decltype(address)>>(dlsym(library, name));
      if (address == nullptr) {
        std::fprintf(stderr, "%s lacks %s\n", path, name);
        std::exit(1);
      }
    };
    Exports found{};
    find(found.formatType, "DIGetTableFormatType");
    find(found.mainInfo, "DIGetMainInfo");
    find(found.categoryV, "DIGetCategoryInfoV");
    find(found.categoryS, "DIGetCategoryInfoS");
    find(found.table, "DIGetTable");
    find(found.freeTable, "DIFreeTable");
    return found;
  }();
  return shipped;
}

}  // namespace dinfo::bench
