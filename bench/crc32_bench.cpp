// CRC-32 throughput: ours (the dispatched routine and each path) against zlib's crc32 on the
// same buffers, for block sizes the archive layer uses (4 KiB source reads, 16,000-byte
// extraction blocks, 8 KiB stream buffers) and a large one. After the run, the ratio of
// ours to zlib's is printed per size; the target is at least 2.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"

namespace {

const std::vector<unsigned char>& Buffer() {
  static const std::vector<unsigned char> bytes = [] {
    std::vector<unsigned char> b(1 << 20);
    std::mt19937 random(1);
    for (auto& c : b) c = static_cast<unsigned char>(random());
    return b;
  }();
  return bytes;
}

template <std::uint32_t (*Update)(std::uint32_t, const void*, std::size_t)>
void Ours(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const unsigned char* data = Buffer().data();
  for (auto _ : state) benchmark::DoNotOptimize(Update(0xFFFFFFFFu, data, size));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
}

void Zlib(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const unsigned char* data = Buffer().data();
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, data, static_cast<uInt>(size)));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int size : {4096, 8192, 16000, 1 << 20}) b->Arg(size);
}

BENCHMARK(Zlib)->Apply(Sizes);
BENCHMARK(Ours<archive::UpdateCrc32>)->Name("Ours")->Apply(Sizes);
BENCHMARK(Ours<archive::crc32_detail::UpdateSliceBy8>)->Name("OursSliceBy8")->Apply(Sizes);
BENCHMARK(Ours<archive::crc32_detail::UpdatePclmul>)->Name("OursPclmul")->Apply(Sizes);
BENCHMARK(Ours<archive::crc32_detail::UpdateVpclmul256>)->Name("OursVpclmul256")->Apply(Sizes);
BENCHMARK(Ours<archive::crc32_detail::UpdateVpclmul>)->Name("OursVpclmul")->Apply(Sizes);

// Console output as usual, plus the bytes per second of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second.value;
    }
  }
  void PrintRatios() const {
    std::printf("\nCRC-32 throughput, ours / zlib (target >= 2.0):\n");
    for (const char* size : {"4096", "8192", "16000", "1048576"}) {
      const auto zlib = rates_.find(std::string("Zlib/") + size);
      const auto ours = rates_.find(std::string("Ours/") + size);
      if (zlib == rates_.end() || ours == rates_.end()) continue;
      std::printf("  %8s bytes: ours %6.2f GB/s  zlib %6.2f GB/s  ratio %.2f\n", size,
                  ours->second / 1e9, zlib->second / 1e9, ours->second / zlib->second);
    }
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("paths: pclmul %s, vpclmulqdq %s\n",
              archive::crc32_detail::HasPclmul() ? "yes" : "no",
              archive::crc32_detail::HasVpclmul() ? "yes" : "no");
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
