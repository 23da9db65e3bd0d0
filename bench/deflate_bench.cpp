// Our Deflate compressor against zlib's raw deflate, same input, same level, same run.
//
// Inputs (about 4 MB each): text (the C headers in /usr/include, the most common large text
// on any Debian machine), binary (executables from /usr/bin), and already compressed data
// (zlib's output for text and binary together). Missing files are replaced by generated data,
// and the summary says so. Levels 1, 6 and 9.
//
// The summary at the end prints, per input and level, the output size of both, the size
// ratio (target: ours within 1% of zlib), the throughput of both and the speed ratio (target
// at level 6: ours at least 1.5 times zlib). Throughput is per CPU second; run with
// --benchmark_repetitions=5 on a busy machine (the best repetition is reported).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/deflate_compressor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kInputSize = 4 << 20;

struct Input {
  std::string name;
  std::string origin;
  Bytes data;
};

Bytes Generated(std::size_t size, std::uint64_t seed, bool textual) {
  Bytes out(size);
  std::uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
  for (std::size_t i = 0; i < size; ++i) {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    std::uint64_t r = s * 0x2545F4914F6CDD1Dull;
    out[i] = textual ? static_cast<std::uint8_t>("etaoin shrdlu\n"[(r >> 40) % 14])
                     : static_cast<std::uint8_t>((r >> 56) & ((r & 3) == 0 ? 0xFF : 0x0F));
  }
  return out;
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
    v.push_back({"text", textOrigin, std::move(text)});
    v.push_back({"binary", binaryOrigin, std::move(binary)});
    v.push_back({"compressed", "zlib -9 of text and binary", std::move(compressed)});
    return v;
  }();
  return inputs;
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

void BM_Ours(benchmark::State& state, std::size_t inputIndex, int level) {
  const Input& input = Inputs()[inputIndex];
  archive::TDeflateCompressor compressor;
  Bytes out(input.data.size() + input.data.size() / 8 + 1024);
  std::uint64_t size = 0;
  for (auto _ : state) {
    MemoryIo io(input.data, out);
    archive::TDeflateEntryFields entry;
    size = compressor.Deflate(level, io, entry);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.data.size()));
  state.counters["out_bytes"] = static_cast<double>(size);
}

void BM_Zlib(benchmark::State& state, std::size_t inputIndex, int level) {
  const Input& input = Inputs()[inputIndex];
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&zs, input.data.size()));
  std::uint64_t size = 0;
  for (auto _ : state) {
    deflateReset(&zs);
    zs.next_in = const_cast<Bytef*>(input.data.data());
    zs.avail_in = static_cast<uInt>(input.data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    size = zs.total_out;
    benchmark::DoNotOptimize(out.data());
  }
  deflateEnd(&zs);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.data.size()));
  state.counters["out_bytes"] = static_cast<double>(size);
}

// Collects the results so the summary can put ours and zlib's side by side.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      auto bytes = run.counters.find("bytes_per_second");
      auto out = run.counters.find("out_bytes");
      // With --benchmark_repetitions the best repetition counts: on a shared machine the
      // slower ones measure the neighbours.
      Result& r = results_[run.benchmark_name()];
      if (bytes != run.counters.end())
        r.mbPerSecond = std::max(r.mbPerSecond, bytes->second.value / 1e6);
      r.outBytes = out != run.counters.end() ? out->second.value : 0;
    }
  }
  void PrintSummary() const {
    std::printf("\n%-11s %5s %11s %11s %8s %9s %9s %7s\n", "input", "level", "ours(B)", "zlib(B)",
                "size", "ours MB/s", "zlib MB/s", "speed");
    for (std::size_t i = 0; i < Inputs().size(); ++i) {
      for (int level : {1, 6, 9}) {
        std::string key = Inputs()[i].name + "/" + std::to_string(level);
        auto ours = results_.find("ours/" + key);
        auto zlib = results_.find("zlib/" + key);
        if (ours == results_.end() || zlib == results_.end()) continue;
        std::printf("%-11s %5d %11.0f %11.0f %8.4f %9.1f %9.1f %6.2fx\n", Inputs()[i].name.c_str(),
                    level, ours->second.outBytes, zlib->second.outBytes,
                    ours->second.outBytes / zlib->second.outBytes, ours->second.mbPerSecond,
                    zlib->second.mbPerSecond, ours->second.mbPerSecond / zlib->second.mbPerSecond);
      }
    }
    for (const Input& input : Inputs()) {
      std::printf("%s: %zu bytes from %s\n", input.name.c_str(), input.data.size(),
                  input.origin.c_str());
    }
    std::printf("zlib %s\n", zlibVersion());
  }

 private:
  struct Result {
    double mbPerSecond = 0;
    double outBytes = 0;
  };
  std::map<std::string, Result> results_;
};

}  // namespace

int main(int argc, char** argv) {
  for (std::size_t i = 0; i < Inputs().size(); ++i) {
    for (int level : {1, 6, 9}) {
      std::string key = Inputs()[i].name + "/" + std::to_string(level);
      benchmark::RegisterBenchmark(("ours/" + key).c_str(), BM_Ours, i, level)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("zlib/" + key).c_str(), BM_Zlib, i, level)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
