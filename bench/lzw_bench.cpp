// LZW decoding speed: the same TIFF-LZW streams, made by libtiff's own
// encoder, decoded by dinfo's decoder and by libtiff's, alternately in one
// run. Each data set is several megabytes of varied content, so that no
// decoder profits from a branch predictor trained on a small input.
// Counters: MB/s of output for each decoder and dinfo's speed as a multiple
// of libtiff's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/block.h"
#include "lzw/lzw_decoder.h"
#include "lzw_data.h"
#include "tableobj/table_object.h"

#ifdef DINFO_HAVE_LIBTIFF
#include <tiffio.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using dinfo::bench::LzwData;
using dinfo::bench::MakeLzwData;
constexpr std::size_t Width = 2048;
constexpr std::size_t Rows = 2048;  // 4 MB a data set

// One LZW strip written by libtiff, kept open for libtiff's decoder.
struct TiffStream {
  Bytes plain;
  Bytes raw;     // the strip's LZW code stream
  Bytes stored;  // a compressed table object with that stream as its body
  TIFF *tiff = nullptr;
  std::string path;
};

TiffStream MakeStream(const char *name, const Bytes &plain) {
  TiffStream stream;
  stream.plain = plain;
  stream.path = (std::filesystem::temp_directory_path() /
                 ("dinfo_lzw_bench_" + std::string(name) + "_" + std::to_string(getpid()) +
                  ".tif"))
                    .string();
  TIFF *out = TIFFOpen(stream.path.c_str(), "w");
  TIFFSetField(out, TIFFTAG_IMAGEWIDTH, std::uint32_t(Width));
  TIFFSetField(out, TIFFTAG_IMAGELENGTH, std::uint32_t(Rows));
  TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, std::uint32_t(Rows));
  TIFFWriteEncodedStrip(out, 0, stream.plain.data(), tmsize_t(stream.plain.size()));
  TIFFClose(out);
  stream.tiff = TIFFOpen(stream.path.c_str(), "r");
  // Open files stay readable once unlinked; each run has files of its own,
  // as libtiff maps them and another run rewriting one would fault it.
  std::filesystem::remove(stream.path);
  stream.raw.resize(std::size_t(TIFFRawStripSize(stream.tiff, 0)));
  TIFFReadRawStrip(stream.tiff, 0, stream.raw.data(), tmsize_t(stream.raw.size()));
  // No descriptors: the whole expansion is data. The stream ends with its
  // end code, so the padding to 8 bytes is never read.
  stream.stored.assign(16, 0);
  stream.stored.insert(stream.stored.end(), stream.raw.begin(), stream.raw.end());
  stream.stored.resize((stream.stored.size() + 7) / 8 * 8);
  const auto put = [&](std::size_t at, std::uint32_t value) {
    for (std::size_t k = 0; k < 4; ++k) stream.stored[at + k] = std::uint8_t(value >> (8 * k));
  };
  put(0, dinfo::TableObjectMagic);
  put(4, std::uint32_t(stream.stored.size()));
  put(8, 0);
  put(12, dinfo::FlagCompressed);
  return stream;
}

TiffStream &Stream(int kind) {
  static std::vector<TiffStream> streams = [] {
    std::mt19937 random(2026);
    std::vector<TiffStream> made;
    made.push_back(MakeStream("text", MakeLzwData(LzwData::Text, Width * Rows, random)));
    made.push_back(MakeStream("image", MakeLzwData(LzwData::Image, Width * Rows, random)));
    made.push_back(MakeStream("random", MakeLzwData(LzwData::Random, Width * Rows, random)));
    made.push_back(MakeStream("runs", MakeLzwData(LzwData::Runs, Width * Rows, random)));
    return made;
  }();
  return streams[std::size_t(kind)];
}

// The whole expansion of a compressed table object, as DIGetTable has it
// done: a new decoder, an output buffer growing from 1 KB by doubling, the
// expanded object handed back and released here.
bool ExpandWithDinfo(TiffStream &stream, bool check) {
  dinfo::Block expanded =
      dinfo::DecompressTableObject(dinfo::Block(stream.stored.data(), stream.stored.size()));
  benchmark::DoNotOptimize(expanded.data());
  const bool same = !check || (expanded.size() == stream.plain.size() + 16 &&
                               std::equal(stream.plain.begin(), stream.plain.end(),
                                          expanded.begin() + 16));
  dinfo::ReleaseBlock(expanded);
  return same;
}

// The decoding alone: the decoder writes into a buffer that is already big
// enough, as libtiff's does.
bool DecodeWithDinfo(const TiffStream &stream, bool check, dinfo::Block ready) {
  dinfo::LzwDecoder *decoder = dinfo::CreateLzwDecoder();
  std::uint8_t *const ownStart = decoder->outputStart;
  std::uint8_t *const ownEnd = decoder->outputEnd;
  decoder->outputStart = decoder->outputPos = ready.data();
  decoder->outputEnd = ready.data() + ready.size();
  std::uint8_t *const start = decoder->outputStart;
  const dinfo::Fault fault =
      dinfo::DecodeLzw(stream.raw.data(), static_cast<std::int32_t>(stream.raw.size()), decoder);
  const auto length = fault == dinfo::Fault::None ? decoder->outputPos - start : -1;
  benchmark::DoNotOptimize(start);
  const bool same = !check || (length == std::int64_t(stream.plain.size()) &&
                               std::equal(stream.plain.begin(), stream.plain.end(), start));
  decoder->outputStart = decoder->outputPos = ownStart;
  decoder->outputEnd = ownEnd;
  dinfo::ReleaseLzwDecoder(decoder);
  return same;
}

// CPU time of this thread: the machine is shared, wall time is not ours.
double ThreadSeconds() {
#if defined(_WIN32)
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
#endif
}

void BM_LzwDecode(benchmark::State &state) {
  TiffStream &stream = Stream(int(state.range(0)));
  Bytes target(stream.plain.size());
  dinfo::Block ready = dinfo::AllocateBlock(std::int64_t(stream.plain.size()) + 65536);
  if (!ExpandWithDinfo(stream, true) || !DecodeWithDinfo(stream, true, ready) ||
      TIFFReadEncodedStrip(stream.tiff, 0, target.data(), tmsize_t(target.size())) !=
          tmsize_t(target.size()) ||
      target != stream.plain) {
    state.SkipWithError("the decoders disagree with the data");
    return;
  }
  double dinfoSeconds = 0;
  double readySeconds = 0;
  double tiffSeconds = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    ExpandWithDinfo(stream, false);
    const double t1 = ThreadSeconds();
    TIFFReadEncodedStrip(stream.tiff, 0, target.data(), tmsize_t(target.size()));
    benchmark::DoNotOptimize(target.data());
    const double t2 = ThreadSeconds();
    DecodeWithDinfo(stream, false, ready);
    const double t3 = ThreadSeconds();
    dinfoSeconds += t1 - t0;
    tiffSeconds += t2 - t1;
    readySeconds += t3 - t2;
    state.SetIterationTime(t3 - t0);
  }
  dinfo::ReleaseBlock(ready);
  const double megabytes = double(stream.plain.size()) * double(state.iterations()) / 1e6;
  state.counters["dinfo_MBps"] = megabytes / dinfoSeconds;
  state.counters["libtiff_MBps"] = megabytes / tiffSeconds;
  state.counters["ratio"] = tiffSeconds / dinfoSeconds;
  state.counters["decode_only_MBps"] = megabytes / readySeconds;
  state.counters["decode_only_ratio"] = tiffSeconds / readySeconds;
  state.counters["compressed_pct"] = 100.0 * double(stream.raw.size()) / double(stream.plain.size());
  state.SetLabel(std::vector<const char *>{"text", "image", "random", "runs"}[std::size_t(state.range(0))]);
}
BENCHMARK(BM_LzwDecode)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

#endif  // DINFO_HAVE_LIBTIFF
