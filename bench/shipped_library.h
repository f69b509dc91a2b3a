// The exports of the shipped libdinfo.so, which whole-call benchmarks time
// as users pay them.
#ifndef DINFO_BENCH_SHIPPED_LIBRARY_H
#define DINFO_BENCH_SHIPPED_LIBRARY_H

#include "sample_files.h"

namespace dinfo::bench {

// The exports of the shipped library (or of the one DINFO_BENCH_LIBRARY
// names, to compare builds), loaded on first use; the program ends if it
// cannot load them.
const Exports &ShippedExports();

}  // namespace dinfo::bench

#endif  // DINFO_BENCH_SHIPPED_LIBRARY_H
