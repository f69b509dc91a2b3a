#include "infofile/scramble.h"

#include <array>

#include "common/bytes.h"

// The key stream is a linear shift register: its bit sequence obeys
// s[n] = s[n-31] XOR s[n-30], and so (squaring the feedback polynomial
// twice) s[n] = s[n-124] XOR s[n-120]. Since the low byte of the register
// is a window of that sequence, every four-byte group of key stream is the
// XOR of the groups 31 and 30 before it. After the first 31 groups, taken
// one register step a byte, the key stream comes a group at a time with no
// carried state but a short history, which the compiler can vectorise.
namespace dinfo {
namespace {

using Lanes = std::array<std::uint8_t, 4>;

constexpr std::int32_t GroupSize = 4;
constexpr std::int32_t KeyHistoryGroups = 31;
// Groups per chunk: the 16-bit halves of the packed lane sums take at most
// 256 x 255 before they are folded into 32-bit totals.
constexpr std::int32_t ChunkGroups = 256;
constexpr std::uint32_t EvenBytes = 0x00FF00FFu;

// Lane sums (modulo 256) over the stored data, lanes 0 and 2 and lanes 1
// and 3 packed in the halves of a 32-bit word.
Lanes SumLanes(const std::uint8_t *data, std::int32_t groups) {
  std::uint32_t totals[4] = {};
  for (std::int32_t start = 0; start < groups; start += ChunkGroups) {
    const std::int32_t end = groups - start < ChunkGroups ? groups : start + ChunkGroups;
    std::uint32_t even = 0;
    std::uint32_t odd = 0;
    for (std::int32_t g = start; g < end; ++g) {
      const std::uint32_t word = ReadU32LittleEndian(data + std::size_t(g) * GroupSize);
      even += word & EvenBytes;
      odd += (word >> 8) & EvenBytes;
    }
    totals[0] += even & 0xFFFFu;
    totals[1] += odd & 0xFFFFu;
    totals[2] += even >> 16;
    totals[3] += odd >> 16;
  }
  return {static_cast<std::uint8_t>(totals[0]), static_cast<std::uint8_t>(totals[1]),
          static_cast<std::uint8_t>(totals[2]), static_cast<std::uint8_t>(totals[3])};
}

// Sums of the restored groups. Lanes 0 to 3 are plain sums (modulo 2^32);
// lane 2 enters the check sum as b2 mod 13 = b2 - 13 * (b2 / 13), so the
// quotients are summed beside it. For b2 <= 255, b2 / 13 = (b2 * 158) >> 11.
struct RestoredSums {
  std::uint32_t lane[4];
  std::uint32_t quotients;
};

void AddGroup(RestoredSums *sums, std::uint32_t group) {
  sums->lane[0] += group & 0xFFu;
  sums->lane[1] += (group >> 8) & 0xFFu;
  sums->lane[2] += (group >> 16) & 0xFFu;
  sums->lane[3] += group >> 24;
  sums->quotients += (((group >> 16) & 0xFFu) * 158u) >> 11;
}

// The first groups, one register step a byte; their key groups are kept
// in `history` (as many as there are, up to 31) to seed the recurrence.
std::int32_t RestoreLeadingGroups(std::uint8_t *data, std::int32_t groups, std::uint32_t key,
                                  std::uint32_t *history, RestoredSums *sums) {
  const std::int32_t leading = groups < KeyHistoryGroups ? groups : KeyHistoryGroups;
  for (std::int32_t g = 0; g < leading; ++g) {
    std::uint32_t keyGroup = 0;
    for (std::int32_t k = 0; k < GroupSize; ++k) {
      keyGroup |= (key & 0xFFu) << (8 * k);
      key = AdvanceKey(key);
    }
    history[g] = keyGroup;
    std::uint8_t *at = data + std::size_t(g) * GroupSize;
    const std::uint32_t restored = ReadU32LittleEndian(at) ^ keyGroup;
    WriteU32LittleEndian(at, restored);
    AddGroup(sums, restored);
  }
  return leading;
}

// One chunk of at most ChunkGroups groups. keys[0..30] hold the key groups
// of the 31 groups before the chunk; on return they hold those of the last
// 31 groups of the chunk.
void RestoreChunk(std::uint8_t *data, std::int32_t count, std::uint32_t *keys,
                  RestoredSums *sums) {
  std::uint32_t even = 0;
  std::uint32_t odd = 0;
  std::uint32_t quotients = 0;
  for (std::int32_t g = 0; g < count; ++g) {
    const std::uint32_t keyGroup = keys[g] ^ keys[g + 1];
    keys[g + KeyHistoryGroups] = keyGroup;
    std::uint8_t *at = data + std::size_t(g) * GroupSize;
    const std::uint32_t restored = ReadU32LittleEndian(at) ^ keyGroup;
    WriteU32LittleEndian(at, restored);
    even += restored & EvenBytes;
    odd += (restored >> 8) & EvenBytes;
    quotients += (((restored >> 16) & 0xFFu) * 158u) >> 11;
  }
  sums->lane[0] += even & 0xFFFFu;
  sums->lane[1] += odd & 0xFFFFu;
  sums->lane[2] += even >> 16;
  sums->lane[3] += odd >> 16;
  sums->quotients += quotients;
  for (std::int32_t g = 0; g < KeyHistoryGroups; ++g) keys[g] = keys[g + count];
}

// XORs the key stream onto the data and returns the check sum of the
// restored groups: start + 23 b0 + 249 b1 + 41 (b2 mod 13) + 71 b3 + 9 for
// every group, modulo 2^32.
std::uint32_t RestoreData(std::uint8_t *data, std::int32_t groups, std::uint32_t key) {
  RestoredSums sums{};
  std::uint32_t keys[KeyHistoryGroups + ChunkGroups];
  std::int32_t done = RestoreLeadingGroups(data, groups, key, keys, &sums);
  while (done < groups) {
    const std::int32_t count = groups - done < ChunkGroups ? groups - done : ChunkGroups;
    RestoreChunk(data + std::size_t(done) * GroupSize, count, keys, &sums);
    done += count;
  }
  const std::uint32_t modThirteen = sums.lane[2] - 13u * sums.quotients;
  return ScrambleCheckSumStart + 23u * sums.lane[0] + 249u * sums.lane[1] + 41u * modThirteen +
         71u * sums.lane[3] + 9u * static_cast<std::uint32_t>(groups);
}

}  // namespace

std::int32_t UnscrambleBlock(std::uint8_t *block, std::int32_t length) {
  if (block == nullptr || length < 4 || length % 4 != 0) return ScrambleBadArgument;
  const std::int32_t groups = length / GroupSize - 1;
  std::uint8_t *trailer = block + std::size_t(groups) * GroupSize;

  const Lanes lanes = SumLanes(block, groups);
  const std::uint8_t t0 = trailer[0] ^ lanes[0];
  const std::uint8_t t1 = trailer[1] ^ lanes[3];
  const std::uint8_t t2 = trailer[2] ^ lanes[1];
  const std::uint8_t t3 = trailer[3] ^ lanes[2];

  const std::uint32_t key = (std::uint32_t{t2} << 24) | (std::uint32_t{t0} << 16) |
                            (std::uint32_t{t1} << 8) | t3;
  const std::uint32_t sum = RestoreData(block, groups, key);
  trailer[0] = static_cast<std::uint8_t>(t0 - (sum >> 16));
  trailer[1] = static_cast<std::uint8_t>(t1 - sum);
  trailer[2] = static_cast<std::uint8_t>(t3 - (sum >> 24));
  trailer[3] = static_cast<std::uint8_t>(t2 - (sum >> 8));
  return 0;
}

}  // namespace dinfo
