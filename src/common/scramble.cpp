#include "common/scramble.h"

#include <array>

#include "common/bytes.h"
#include "platform/cpu_features.h"

// The key stream is a linear shift register: its bit sequence obeys
// s[n] = s[n-31] XOR s[n-30]. Squaring the feedback polynomial k times
// gives s[n] = s[n-31*2^k] XOR s[n-30*2^k], and since each key byte is a
// window of that sequence, the same holds for whole runs of key bytes: byte
// n is byte n-31 XOR byte n-30, and each 16-byte unit is the XOR of the
// units 31 and 30 before it. The first 32 bytes come from the register one
// step a byte, the bytes up to 31 units from the byte rule a word at a
// time, and the rest a group at a time as the data is restored, in a loop
// the compiler vectorises.
namespace dinfo {
namespace {

using Lanes = std::array<std::uint8_t, 4>;

constexpr std::int32_t GroupSize = 4;
// Groups per run of packed sums (PackedSums), which fit 32 bits for 256
// groups of 255s before they are folded into the totals.
constexpr std::int32_t ChunkGroups = 256;
constexpr std::uint32_t EvenBytes = 0x00FF00FFu;
constexpr std::int32_t SumRunSize = ChunkGroups * GroupSize;

// Lane sums of restored groups, a run of groups at a time: `even` packs the
// sums of lanes 0 and 2 in its halves, and `shifted`, the sum of every
// group shifted down a byte, holds sum b1 + 2^8 sum b2 + 2^16 sum b3, which
// a run keeps below 2^32. Taking 2^8 sum b2 away leaves the sums of lanes
// 1 and 3 in its halves.
struct PackedSums {
  std::uint32_t even;
  std::uint32_t shifted;
};

void AddPacked(PackedSums *packed, std::uint32_t evenBytes, std::uint32_t group) {
  packed->even += evenBytes;
  packed->shifted += group >> 8;
}

void FoldPacked(const PackedSums &packed, std::uint32_t *lanes) {
  const std::uint32_t odd = packed.shifted - ((packed.even >> 16) << 8);
  lanes[0] += packed.even & 0xFFFFu;
  lanes[1] += odd & 0xFFFFu;
  lanes[2] += packed.even >> 16;
  lanes[3] += odd >> 16;
}

// Lane sums (modulo 256) of the stored groups. Long data is added in 64
// byte-wide columns that wrap as the sums do; the rest, and short data,
// with packed sums a group at a time.
Lanes SumLanes(const std::uint8_t *data, std::int32_t groups) {
  constexpr std::size_t Columns = 64;
  constexpr std::size_t ColumnsFrom = 1024;
  const std::size_t length = std::size_t(groups) * GroupSize;
  std::size_t at = 0;
  std::uint32_t lanes[GroupSize] = {};
  if (length >= ColumnsFrom) {
    std::uint8_t column[Columns] = {};
    for (; at + Columns <= length; at += Columns) {
      for (std::size_t k = 0; k < Columns; ++k) {
        column[k] = static_cast<std::uint8_t>(column[k] + data[at + k]);
      }
    }
    for (std::size_t k = 0; k < Columns; ++k) lanes[k % GroupSize] += column[k];
  }
  for (; at < length; at += SumRunSize) {
    const std::size_t end = length - at < SumRunSize ? length : at + SumRunSize;
    PackedSums packed{};
    for (std::size_t i = at; i < end; i += GroupSize) {
      const std::uint32_t group = ReadU32LittleEndian(data + i);
      AddPacked(&packed, group & EvenBytes, group);
    }
    FoldPacked(packed, lanes);
  }
  return {static_cast<std::uint8_t>(lanes[0]), static_cast<std::uint8_t>(lanes[1]),
          static_cast<std::uint8_t>(lanes[2]), static_cast<std::uint8_t>(lanes[3])};
}

// Sums of the restored groups. Lanes 0 to 3 are plain sums (modulo 2^32);
// lane 2 enters the check sum as b2 mod 13 = b2 - 13 * (b2 / 13), so the
// quotients are summed beside it.
struct RestoredSums {
  std::uint32_t lane[4];
  std::uint32_t quotients;
};

constexpr std::int32_t KeyUnitSize = 16;
constexpr std::int32_t KeyHistoryUnits = 31;
constexpr std::int32_t KeyHistorySize = KeyHistoryUnits * KeyUnitSize;
// Key stream made at a time; the last 31 units move to the front after.
constexpr std::int32_t KeyChunkSize = 4096;

// b2 / 13 for lane 2 of a group, taken from its even bytes where they
// stand (b2 x 2^16 + b0) by a float multiply, which vectorises where a
// 32-bit integer one does not. The even bytes are exact in a float, and the
// factor, a little above 1 / (13 x 2^16), keeps every quotient whole for
// b2 <= 255 while b0 adds less than 1 / 3000 to it.
inline std::uint32_t QuotientByThirteen(std::uint32_t evenBytes) {
  constexpr float Factor = (1.0f / 13.0f + 1.0e-5f) / 65536.0f;
  const auto scaled = static_cast<float>(static_cast<std::int32_t>(evenBytes));
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled * Factor));
}

// Eight key bytes from the register as it stands, and the register moved
// on eight steps. Within 30 steps every new bit is bit 30 XOR bit 29 of the
// register as it stood, so after m steps it is
// (key << m) | (((key ^ (key << 1)) >> (31 - m)) & (2^m - 1)).
std::uint64_t TakeKeyBytes(std::uint32_t *key) {
  const std::uint32_t start = *key;
  const std::uint32_t feedback = start ^ (start << 1);
  std::uint64_t bytes = 0;
  for (std::uint32_t m = 0; m < 8; ++m) {
    const std::uint32_t stepped = (start << m) | ((feedback >> (31 - m)) & ((1u << m) - 1u));
    bytes |= std::uint64_t{stepped & 0xFFu} << (8 * m);
  }
  *key = (start << 8) | ((feedback >> 23) & 0xFFu);
  return bytes;
}

// The first `length` bytes of key stream (a multiple of 4, at most 31
// units): 32 from the register, then eight bytes at a time by the byte
// rule, with the last 32 bytes held in four words.
void SeedKeyStream(std::uint32_t key, std::uint8_t *keys, std::int32_t length) {
  constexpr std::int32_t Stepped = 32;
  for (std::int32_t at = 0; at < Stepped; at += 8) WriteU64LittleEndian(keys + at, TakeKeyBytes(&key));
  if (length <= Stepped) return;
  std::uint64_t w0 = ReadU64LittleEndian(keys);
  std::uint64_t w1 = ReadU64LittleEndian(keys + 8);
  std::uint64_t w2 = ReadU64LittleEndian(keys + 16);
  std::uint64_t w3 = ReadU64LittleEndian(keys + 24);
  for (std::int32_t at = Stepped; at < length; at += 8) {
    // Bytes at-31 .. at-24 and at-30 .. at-23.
    const std::uint64_t next = ((w0 >> 8) | (w1 << 56)) ^ ((w0 >> 16) | (w1 << 48));
    WriteU64LittleEndian(keys + at, next);
    w0 = w1;
    w1 = w2;
    w2 = w3;
    w3 = next;
  }
}

// Stores one restored group and adds it to a run's sums.
inline void StoreRestored(std::uint8_t *at, std::uint32_t restored, PackedSums *packed,
                          std::uint32_t *quotients) {
  WriteU32LittleEndian(at, restored);
  const std::uint32_t evenBytes = restored & EvenBytes;
  AddPacked(packed, evenBytes, restored);
  *quotients += QuotientByThirteen(evenBytes);
}

// XORs `length` bytes of key stream (a multiple of 4, at most SumRunSize)
// onto the data and adds the restored groups to the sums.
void RestoreRun(std::uint8_t *data, const std::uint8_t *keys, std::int32_t length,
                RestoredSums *sums) {
  PackedSums packed{};
  std::uint32_t quotients = 0;
  for (std::int32_t i = 0; i < length; i += GroupSize) {
    StoreRestored(data + i, ReadU32LittleEndian(data + i) ^ ReadU32LittleEndian(keys + i), &packed,
                  &quotients);
  }
  FoldPacked(packed, sums->lane);
  sums->quotients += quotients;
}

// RestoreRun with the key stream made on the way: `keys` holds the 31 units
// before the run, and each key group is written after them as it is used.
void ExtendAndRestoreRun(std::uint8_t *data, std::uint8_t *keys, std::int32_t length,
                         RestoredSums *sums) {
  PackedSums packed{};
  std::uint32_t quotients = 0;
  for (std::int32_t i = 0; i < length; i += GroupSize) {
    const std::uint32_t key = ReadU32LittleEndian(keys + i) ^ ReadU32LittleEndian(keys + i + KeyUnitSize);
    WriteU32LittleEndian(keys + KeyHistorySize + i, key);
    StoreRestored(data + i, ReadU32LittleEndian(data + i) ^ key, &packed, &quotients);
  }
  FoldPacked(packed, sums->lane);
  sums->quotients += quotients;
}

// XORs the key stream onto the data and returns the check sum of the
// restored groups: start + 23 b0 + 249 b1 + 41 (b2 mod 13) + 71 b3 + 9 for
// every group, modulo 2^32.
std::uint32_t RestoreData(std::uint8_t *data, std::int32_t dataLength, std::uint32_t key) {
  RestoredSums sums{};
  alignas(KeyUnitSize) std::uint8_t keys[KeyHistorySize + KeyChunkSize];
  std::int32_t done = dataLength < KeyHistorySize ? dataLength : KeyHistorySize;
  SeedKeyStream(key, keys, done);
  static_assert(KeyHistorySize <= SumRunSize, "the seeded key stream is one run");
  RestoreRun(data, keys, done, &sums);
  while (done < dataLength) {
    const std::int32_t length = dataLength - done < KeyChunkSize ? dataLength - done : KeyChunkSize;
    for (std::int32_t at = 0; at < length; at += SumRunSize) {
      ExtendAndRestoreRun(data + done + at, keys + at,
                          length - at < SumRunSize ? length - at : SumRunSize, &sums);
    }
    done += length;
    CopyBytes(keys + length, keys, KeyHistorySize);
  }
  const std::uint32_t modThirteen = sums.lane[2] - 13u * sums.quotients;
  const auto groups = static_cast<std::uint32_t>(dataLength / GroupSize);
  return ScrambleCheckSumStart + 23u * sums.lane[0] + 249u * sums.lane[1] + 41u * modThirteen +
         71u * sums.lane[3] + 9u * groups;
}

// The trailer holds the key bytes, each masked with one lane sum.
std::uint32_t KeyFromTrailer(const std::uint8_t *trailer, const Lanes &lanes) {
  const std::uint32_t t0 = trailer[0] ^ lanes[0];
  const std::uint32_t t1 = trailer[1] ^ lanes[3];
  const std::uint32_t t2 = trailer[2] ^ lanes[1];
  const std::uint32_t t3 = trailer[3] ^ lanes[2];
  return (t2 << 24) | (t0 << 16) | (t1 << 8) | t3;
}

// Restores a block of a valid length: finds the key from the trailer, then
// restores the data and rewrites the trailer with the check sum.
void RestoreBlock(std::uint8_t *block, std::int32_t length) {
  const std::int32_t groups = length / GroupSize - 1;
  std::uint8_t *trailer = block + std::size_t(groups) * GroupSize;

  const std::uint32_t key = KeyFromTrailer(trailer, SumLanes(block, groups));
  const auto t0 = static_cast<std::uint8_t>(key >> 16);
  const auto t1 = static_cast<std::uint8_t>(key >> 8);
  const auto t2 = static_cast<std::uint8_t>(key >> 24);
  const auto t3 = static_cast<std::uint8_t>(key);
  const std::uint32_t sum = RestoreData(block, groups * GroupSize, key);
  trailer[0] = static_cast<std::uint8_t>(t0 - (sum >> 16));
  trailer[1] = static_cast<std::uint8_t>(t1 - sum);
  trailer[2] = static_cast<std::uint8_t>(t3 - (sum >> 24));
  trailer[3] = static_cast<std::uint8_t>(t2 - (sum >> 8));
}

// The same code built for 256-bit vectors, for long blocks on processors
// that have them: the loops are the same, the compiler widens them.
#if defined(__x86_64__) && defined(__GNUC__)
#define DINFO_WIDE_RESTORE 1
constexpr std::int32_t WideRestoreFrom = 4096;
__attribute__((target("avx2"), flatten)) void RestoreBlockWide(std::uint8_t *block,
                                                                std::int32_t length) {
  RestoreBlock(block, length);
}
#endif

}  // namespace

std::uint32_t RecoverScrambleKey(const std::uint8_t *block, std::int32_t length) {
  if (block == nullptr || length < 4 || length % 4 != 0) return 0;
  const std::int32_t groups = length / GroupSize - 1;
  return KeyFromTrailer(block + std::size_t(groups) * GroupSize, SumLanes(block, groups));
}

std::int32_t UnscrambleBlock(std::uint8_t *block, std::int32_t length) {
  if (block == nullptr || length < 4 || length % 4 != 0) return ScrambleBadArgument;
#if defined(DINFO_WIDE_RESTORE)
  if (length >= WideRestoreFrom && CpuHasAvx2()) {
    RestoreBlockWide(block, length);
    return 0;
  }
#endif
  RestoreBlock(block, length);
  return 0;
}

}  // namespace dinfo
