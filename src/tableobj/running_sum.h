// The running sum that undoes delta coding, in place: element k becomes
// the sum of elements 0 to k, wrapping at the element width (1, 2 or 4
// bytes; 2- and 4-byte elements in either byte order, stored back in it).
// Vectors take it a vector at a time: within one by log2(lanes) shifted
// adds, across them by carrying the last lane's sum.
#ifndef DINFO_TABLEOBJ_RUNNING_SUM_H
#define DINFO_TABLEOBJ_RUNNING_SUM_H

#include <cstdint>

#include "tableobj/table_object.h"

namespace dinfo {

// How the sum is taken: one element at a time; 16-byte vectors (SSE2, the
// x86-64 baseline); or 32-byte vectors where the processor has AVX2. On
// other processors every choice is one element at a time.
enum class SumVectors { None, Plain, Wide };

// The widest choice this processor runs.
SumVectors WidestSumVectors();

// The running sum of `count` elements of `width` bytes at `data`, any
// alignment; the widest vectors the processor has.
void RunningSum(std::uint8_t *data, std::int64_t count, std::int32_t width, ByteOrder order);

// The same with the vectors named, which the processor must run.
void RunningSumWith(SumVectors vectors, std::uint8_t *data, std::int64_t count, std::int32_t width,
                    ByteOrder order);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_RUNNING_SUM_H
