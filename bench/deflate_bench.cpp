// Our Deflate compressor against zlib's raw deflate and libdeflate, same input, same level,
// same run.
//
// Two modes. Whole inputs (about 4 MB each): text (the C headers in /usr/include, the most
// common large text on any Debian machine), binary (executables from /usr/bin), and already
// compressed data (zlib's output for text and binary together); missing files are replaced by
// generated data, and the summary says so. Separate files: what a backup compresses, one
// stream per file through the same compressor object (zlib: deflateReset; libdeflate: one
// compressor): "files-text" and "files-binary" are slices of 1 to 24 KB of the text and
// binary inputs, "files-tree" the mix of bench/backup_bench.sh's tree (70 % text slices of
// 1 to 24 KB, 28 % random bytes of 1 to 20 KB, 2 % files of 100 to 600 KB half text, half
// random). Levels 1, 6 and 9.
//
// The summary at the end prints, per input and level, the output sizes (ours within 1% of
// zlib), the throughput of the three per CPU second and ours over zlib's (target at level 6:
// at least 1.5) and over libdeflate's. On a shared machine run with
// --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true: the repetitions of
// the three then alternate, and the summary gives the median of each.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/deflate_compressor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kInputSize = 4 << 20;

// One benchmark input: one stream, or many compressed one after the other.
struct Input {
  std::string name;
  std::string origin;
  std::vector<Bytes> streams;
  std::size_t total = 0;
};

// xorshift64*: the same sequence on every machine, so every run measures the same slices.
class Random {
 public:
  explicit Random(std::uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t Next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 0x2545F4914F6CDD1Dull;
  }
  std::size_t Between(std::size_t low, std::size_t high) {  // inclusive
    return low + static_cast<std::size_t>(Next() % (high - low + 1));
  }

 private:
  std::uint64_t s_;
};

Bytes Generated(std::size_t size, std::uint64_t seed, bool textual) {
  Bytes out(size);
  Random random(seed);
  for (std::size_t i = 0; i < size; ++i) {
    std::uint64_t r = random.Next();
    out[i] = textual ? static_cast<std::uint8_t>("etaoin shrdlu\n"[(r >> 40) % 14])
                     : static_cast<std::uint8_t>((r >> 56) & ((r & 3) == 0 ? 0xFF : 0x0F));
  }
  return out;
}

Bytes RandomBytes(Random& random, std::size_t size) {
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(random.Next() >> 56);
  return out;
}

Bytes Slice(const Bytes& from, Random& random, std::size_t size) {
  const std::size_t at = random.Between(0, from.size() - size);
  return Bytes(from.begin() + static_cast<std::ptrdiff_t>(at),
               from.begin() + static_cast<std::ptrdiff_t>(at + size));
}

// Concatenates regular files of dir whose names pass filter, in name order, up to size.
Bytes FromFiles(const std::string& dir, bool (*filter)(const std::string&), std::size_t size) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    if (e.is_regular_file(ec) && filter(e.path().filename().string())) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  Bytes out;
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    Bytes content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    out.insert(out.end(), content.begin(), content.end());
    if (out.size() >= size) break;
  }
  if (out.size() > size) out.resize(size);
  return out;
}

Bytes ZlibRaw(const Bytes& in, int level) {
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&zs, in.size()));
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

Input Whole(std::string name, std::string origin, Bytes data) {
  Input input{std::move(name), std::move(origin), {}, data.size()};
  input.streams.push_back(std::move(data));
  return input;
}

// Files of 1 to 24 KB cut from data at random places, about kInputSize in all.
Input Slices(std::string name, const Input& from, std::uint64_t seed) {
  Input input{std::move(name), "slices of " + from.name, {}, 0};
  Random random(seed);
  while (input.total < kInputSize) {
    input.streams.push_back(Slice(from.streams[0], random, random.Between(1024, 24 * 1024)));
    input.total += input.streams.back().size();
  }
  return input;
}

// The mix of bench/backup_bench.sh's tree, about 2 * kInputSize in all.
Input Tree(const Input& text) {
  Input input{"files-tree", "70% text slices, 28% random, 2% 100-600 KB", {}, 0};
  Random random(20261208);
  while (input.total < 2 * kInputSize) {
    const std::uint64_t kind = random.Next() % 100;
    if (kind < 70) {
      input.streams.push_back(Slice(text.streams[0], random, random.Between(1024, 24 * 1024)));
    } else if (kind < 98) {
      input.streams.push_back(RandomBytes(random, random.Between(1024, 20 * 1024)));
    } else {
      const std::size_t size = random.Between(100 * 1024, 600 * 1024);
      Bytes mixed = Slice(text.streams[0], random, size / 2);
      Bytes noise = RandomBytes(random, size - size / 2);
      mixed.insert(mixed.end(), noise.begin(), noise.end());
      input.streams.push_back(std::move(mixed));
    }
    input.total += input.streams.back().size();
  }
  return input;
}

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = [] {
    std::vector<Input> v;
    Bytes text = FromFiles(
        "/usr/include", [](const std::string& n) { return n.size() > 2 && n.ends_with(".h"); },
        kInputSize);
    std::string textOrigin = "/usr/include/*.h";
    if (text.size() < kInputSize / 2) {
      text = Generated(kInputSize, 1, true);
      textOrigin = "generated";
    }
    Bytes binary = FromFiles(
        "/usr/bin", [](const std::string&) { return true; }, kInputSize);
    std::string binaryOrigin = "/usr/bin/*";
    if (binary.size() < kInputSize / 2) {
      binary = Generated(kInputSize, 2, false);
      binaryOrigin = "generated";
    }
    // Already compressed: zlib level 9 of text and binary, then again until ~4 MB.
    Bytes compressed;
    for (int seed = 0; compressed.size() < kInputSize; ++seed) {
      Bytes part = ZlibRaw(seed % 2 == 0 ? text : binary, 9);
      compressed.insert(compressed.end(), part.begin(), part.end());
    }
    compressed.resize(kInputSize);
    v.push_back(Whole("text", textOrigin, std::move(text)));
    v.push_back(Whole("binary", binaryOrigin, std::move(binary)));
    v.push_back(Whole("compressed", "zlib -9 of text and binary", std::move(compressed)));
    v.push_back(Slices("files-text", v[0], 3));
    v.push_back(Slices("files-binary", v[1], 4));
    v.push_back(Tree(v[0]));
    return v;
  }();
  return inputs;
}

std::size_t Largest(const Input& input) {
  std::size_t largest = 0;
  for (const Bytes& s : input.streams) largest = std::max(largest, s.size());
  return largest;
}

class MemoryIo : public archive::IDeflateIo {
 public:
  MemoryIo(const Bytes& source, Bytes& out) : source_(source), out_(out) {}
  std::size_t ReadSource(std::uint8_t* buffer, std::size_t size) override {
    std::size_t n = std::min(size, source_.size() - pos_);
    std::memcpy(buffer, source_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  void WriteOutput(const std::uint8_t* data, std::size_t size) override {
    std::memcpy(out_.data() + outPos_, data, size);
    outPos_ += size;
  }

 private:
  const Bytes& source_;
  Bytes& out_;
  std::size_t pos_ = 0;
  std::size_t outPos_ = 0;
};

void Finish(benchmark::State& state, const Input& input, std::uint64_t size) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.total));
  state.counters["out_bytes"] = static_cast<double>(size);
}

void BM_Ours(benchmark::State& state, std::size_t inputIndex, int level) {
  const Input& input = Inputs()[inputIndex];
  archive::TDeflateCompressor compressor;
  Bytes out(Largest(input) + Largest(input) / 8 + 1024);
  std::uint64_t size = 0;
  for (auto _ : state) {
    size = 0;
    for (const Bytes& stream : input.streams) {
      MemoryIo io(stream, out);
      archive::TDeflateEntryFields entry;
      size += compressor.Deflate(level, io, entry);
      benchmark::DoNotOptimize(out.data());
    }
  }
  Finish(state, input, size);
}

void BM_Zlib(benchmark::State& state, std::size_t inputIndex, int level) {
  const Input& input = Inputs()[inputIndex];
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&zs, Largest(input)));
  std::uint64_t size = 0;
  for (auto _ : state) {
    size = 0;
    for (const Bytes& stream : input.streams) {
      deflateReset(&zs);
      zs.next_in = const_cast<Bytef*>(stream.data());
      zs.avail_in = static_cast<uInt>(stream.size());
      zs.next_out = out.data();
      zs.avail_out = static_cast<uInt>(out.size());
      deflate(&zs, Z_FINISH);
      size += zs.total_out;
      benchmark::DoNotOptimize(out.data());
    }
  }
  deflateEnd(&zs);
  Finish(state, input, size);
}

void BM_Libdeflate(benchmark::State& state, std::size_t inputIndex, int level) {
  const Input& input = Inputs()[inputIndex];
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  Bytes out(libdeflate_deflate_compress_bound(compressor, Largest(input)));
  std::uint64_t size = 0;
  for (auto _ : state) {
    size = 0;
    for (const Bytes& stream : input.streams) {
      size += libdeflate_deflate_compress(compressor, stream.data(), stream.size(), out.data(),
                                          out.size());
      benchmark::DoNotOptimize(out.data());
    }
  }
  libdeflate_free_compressor(compressor);
  Finish(state, input, size);
}

constexpr const char* kPeers[] = {"ours", "zlib", "libdeflate"};

// Collects the results so the summary can put the three side by side.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      auto bytes = run.counters.find("bytes_per_second");
      auto out = run.counters.find("out_bytes");
      Result& r = results_[run.benchmark_name()];
      if (bytes != run.counters.end()) r.mbPerSecond.push_back(bytes->second.value / 1e6);
      r.outBytes = out != run.counters.end() ? out->second.value : 0;
    }
  }
  void PrintSummary() const {
    std::printf("\nmedians of %s per CPU second\n", "MB");
    std::printf("%-12s %5s %10s %9s %9s %8s %8s %8s %7s %7s\n", "input", "level", "ours(B)",
                "/zlib", "/libdefl", "ours", "zlib", "libdefl", "vs zlib", "vs libd");
    for (std::size_t i = 0; i < Inputs().size(); ++i) {
      for (int level : {1, 6, 9}) {
        const std::string key = Inputs()[i].name + "/" + std::to_string(level);
        const Result* r[3];
        bool all = true;
        for (int p = 0; p < 3; ++p) {
          auto it = results_.find(std::string(kPeers[p]) + "/" + key);
          all = all && it != results_.end();
          r[p] = all ? &it->second : nullptr;
        }
        if (!all) continue;
        const double speed[3] = {Median(r[0]->mbPerSecond), Median(r[1]->mbPerSecond),
                                 Median(r[2]->mbPerSecond)};
        std::printf("%-12s %5d %10.0f %9.4f %9.4f %8.1f %8.1f %8.1f %6.2fx %6.2fx\n",
                    Inputs()[i].name.c_str(), level, r[0]->outBytes,
                    r[0]->outBytes / r[1]->outBytes, r[0]->outBytes / r[2]->outBytes, speed[0],
                    speed[1], speed[2], speed[0] / speed[1], speed[0] / speed[2]);
      }
    }
    for (const Input& input : Inputs()) {
      std::printf("%s: %zu bytes in %zu streams from %s\n", input.name.c_str(), input.total,
                  input.streams.size(), input.origin.c_str());
    }
    std::printf("zlib %s, libdeflate %s\n", zlibVersion(), LIBDEFLATE_VERSION_STRING);
  }

 private:
  struct Result {
    std::vector<double> mbPerSecond;
    double outBytes = 0;
  };
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  std::map<std::string, Result> results_;
};

}  // namespace

int main(int argc, char** argv) {
  using Bench = void (*)(benchmark::State&, std::size_t, int);
  const Bench benches[] = {BM_Ours, BM_Zlib, BM_Libdeflate};
  for (std::size_t i = 0; i < Inputs().size(); ++i) {
    for (int level : {1, 6, 9}) {
      const std::string key = Inputs()[i].name + "/" + std::to_string(level);
      for (int p = 0; p < 3; ++p) {
        benchmark::RegisterBenchmark((std::string(kPeers[p]) + "/" + key).c_str(), benches[p], i,
                                     level)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
