// LZW decoding speed: the same TIFF-LZW streams, made by libtiff's own
// encoder, decoded by dinfo's decoder and by libtiff's, alternately in one
// run. Each data set is several megabytes of varied content, so that no
// decoder profits from a branch predictor trained on a small input.
// Counters: MB/s of output for each decoder and dinfo's speed as a multiple
// of libtiff's. BM_LzwCall times whole calls instead: DIGetTable on the
// shipped library against libtiff opening a TIFF file, decoding the same
// stream into a new buffer and closing it.
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
#include "sample_files.h"
#include "shipped_library.h"
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
constexpr std::size_t CallRows = 8192;  // 16 MB for the whole calls

// One LZW strip written by libtiff, kept open for libtiff's decoder.
struct TiffStream {
  Bytes plain;
  Bytes raw;     // the strip's LZW code stream
  Bytes stored;  // a compressed table object with that stream as its body
  TIFF *tiff = nullptr;
  std::string path;
};

// The TIFF file is written into `folder`, and removed once open unless it
// is to be read again.
TiffStream MakeStream(const char *name, const Bytes &plain, const std::filesystem::path &folder,
                      bool keepFile) {
  TiffStream stream;
  stream.plain = plain;
  const std::size_t rows = plain.size() / Width;
  stream.path = (folder / ("dinfo_lzw_bench_" + std::string(name) + "_" + std::to_string(getpid()) + ".tif"))
                    .string();
  TIFF *out = TIFFOpen(stream.path.c_str(), "w");
  TIFFSetField(out, TIFFTAG_IMAGEWIDTH, std::uint32_t(Width));
  TIFFSetField(out, TIFFTAG_IMAGELENGTH, std::uint32_t(rows));
  TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, std::uint32_t(rows));
  TIFFWriteEncodedStrip(out, 0, stream.plain.data(), tmsize_t(stream.plain.size()));
  TIFFClose(out);
  stream.tiff = TIFFOpen(stream.path.c_str(), "r");
  // Open files stay readable once unlinked; each run has files of its own,
  // as libtiff maps them and another run rewriting one would fault it.
  if (!keepFile) std::filesystem::remove(stream.path);
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

const char *const KindNames[] = {"text", "image", "random", "runs"};
const LzwData Kinds[] = {LzwData::Text, LzwData::Image, LzwData::Random, LzwData::Runs};

std::vector<TiffStream> MakeStreams(std::size_t rows, const std::filesystem::path &folder, bool keepFiles) {
  std::mt19937 random(2026);
  std::vector<TiffStream> made;
  for (int kind = 0; kind < 4; ++kind) {
    made.push_back(MakeStream(KindNames[kind], MakeLzwData(Kinds[kind], Width * rows, random), folder, keepFiles));
  }
  return made;
}

TiffStream &Stream(int kind) {
  static std::vector<TiffStream> streams = MakeStreams(Rows, std::filesystem::temp_directory_path(), false);
  return streams[std::size_t(kind)];
}

// The streams of the whole calls: TIFF files kept in the sample folder,
// beside information files whose table holds the same stream.
TiffStream &CallStream(int kind) {
  static std::vector<TiffStream> streams = MakeStreams(CallRows, dinfo::bench::SampleFolder(), true);
  return streams[std::size_t(kind)];
}

// The whole expansion of a compressed table object, as DIGetTable has it
// done: a new decoder, an output buffer growing from 1 KB by doubling, the
// expanded object handed back and released here.
bool ExpandWithDinfo(TiffStream &stream, bool check) {
  const dinfo::TableInBlock result =
      dinfo::DecompressTableObject(dinfo::Block(stream.stored.data(), stream.stored.size()));
  const dinfo::Block expanded = result.object;
  benchmark::DoNotOptimize(expanded.data());
  return !check || (expanded.size() == stream.plain.size() + 16 &&
                    std::equal(stream.plain.begin(), stream.plain.end(), expanded.begin() + 16));
}

// The decoding alone: the decoder writes into a buffer that is already big
// enough, as libtiff's does.
bool DecodeWithDinfo(const TiffStream &stream, bool check, dinfo::Block ready) {
  const dinfo::OwnedLzwDecoder owner;
  dinfo::LzwDecoder *decoder = owner.get();
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
  const dinfo::OwnedBlock readyBlock = dinfo::AllocateBlock(std::int64_t(stream.plain.size()) + 65536);
  const dinfo::Block ready = readyBlock.get();
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
  const double megabytes = double(stream.plain.size()) * double(state.iterations()) / 1e6;
  state.counters["dinfo_MBps"] = megabytes / dinfoSeconds;
  state.counters["libtiff_MBps"] = megabytes / tiffSeconds;
  state.counters["ratio"] = tiffSeconds / dinfoSeconds;
  state.counters["decode_only_MBps"] = megabytes / readySeconds;
  state.counters["decode_only_ratio"] = tiffSeconds / readySeconds;
  state.counters["compressed_pct"] = 100.0 * double(stream.raw.size()) / double(stream.plain.size());
  state.SetLabel(KindNames[state.range(0)]);
}
BENCHMARK(BM_LzwDecode)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// libtiff as a program reading a TIFF file uses it: open, a new buffer for
// the strip, read it, close. By default opening maps the file and the
// strip is decoded from the mapping; with "rm" libtiff reads the strip's
// bytes into a buffer of its own first, as this library reads a record.
bool ReadTiffFile(const TiffStream &stream, const char *mode) {
  TIFF *tiff = TIFFOpen(stream.path.c_str(), mode);
  if (tiff == nullptr) return false;
  const auto size = tmsize_t(stream.plain.size());
  void *buffer = _TIFFmalloc(size);
  const bool read = buffer != nullptr && TIFFReadEncodedStrip(tiff, 0, buffer, size) == size;
  benchmark::DoNotOptimize(buffer);
  _TIFFfree(buffer);
  TIFFClose(tiff);
  return read;
}

// In turn, DIGetTable on the shipped library (its own read of the record,
// the expansion, the table handed back and freed) and libtiff reading the
// file, mapped and read, each timed by the thread's CPU clock, which
// counts the system's work for the thread as well. `ratio` is libtiff
// mapped over the call, `read_ratio` libtiff reading over the call.
void BM_LzwCall(benchmark::State &state) {
  using namespace dinfo::bench;
  TiffStream &stream = CallStream(int(state.range(0)));
  const std::string file =
      SaveSampleBytes(std::string("lzw_call_") + KindNames[state.range(0)] + ".dat",
                      MakeSampleFileAround(SampleShape{}, stream.stored));
  const Exports &shipped = ShippedExports();
  Outputs out;
  if (!Call(shipped, Export::Table, file, out) || !ReadTiffFile(stream, "r") || !ReadTiffFile(stream, "rm")) {
    state.SkipWithError("a call or libtiff's read failed");
    return;
  }
  double callSeconds = 0;
  double mappedSeconds = 0;
  double readSeconds = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    Call(shipped, Export::Table, file, out);
    const double t1 = ThreadSeconds();
    ReadTiffFile(stream, "r");
    const double t2 = ThreadSeconds();
    ReadTiffFile(stream, "rm");
    const double t3 = ThreadSeconds();
    callSeconds += t1 - t0;
    mappedSeconds += t2 - t1;
    readSeconds += t3 - t2;
    state.SetIterationTime(t3 - t0);
  }
  const double megabytes = double(stream.plain.size()) * double(state.iterations()) / 1e6;
  state.counters["call_MBps"] = megabytes / callSeconds;
  state.counters["libtiff_MBps"] = megabytes / mappedSeconds;
  state.counters["ratio"] = mappedSeconds / callSeconds;
  state.counters["libtiff_read_MBps"] = megabytes / readSeconds;
  state.counters["read_ratio"] = readSeconds / callSeconds;
  state.SetLabel(KindNames[state.range(0)]);
}
BENCHMARK(BM_LzwCall)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

#endif  // DINFO_HAVE_LIBTIFF
