// Made-up data of the kinds LZW meets: text, a grey image, random bytes
// and long runs of one byte. The same seed gives the same bytes on every
// platform, so that a Windows and a Linux run time the same tables.
#ifndef DINFO_BENCH_LZW_DATA_H
#define DINFO_BENCH_LZW_DATA_H

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace dinfo::bench {

enum class LzwData { Text, Image, Random, Runs };

// `size` bytes of the kind; an image is 2048 bytes wide.
std::vector<std::uint8_t> MakeLzwData(LzwData kind, std::size_t size, std::mt19937 &random);

}  // namespace dinfo::bench

#endif  // DINFO_BENCH_LZW_DATA_H
