#include "test_corpus.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace testcorpus {

namespace {

struct Rng {
  std::uint64_t state;
  explicit Rng(std::uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
};

constexpr std::array<const char*, 48> kWords = {
    "the",     "archive", "of",     "backup",  "a",        "file",   "to",     "and",
    "folder",  "project", "is",     "stored",  "in",       "each",   "with",   "time",
    "restore", "level",   "window", "match",   "distance", "length", "block",  "tree",
    "code",    "for",     "that",   "when",    "source",   "entry",  "header", "record",
    "data",    "it",      "on",     "by",      "run",      "log",    "error",  "name",
    "catalog", "report",  "doc",    "between", "never",    "always", "first",  "last"};

}  // namespace

Bytes RandomBytes(std::size_t size, std::uint64_t seed) {
  Rng rng(seed);
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(rng.Next() >> 56);
  return out;
}

Bytes Text(std::size_t size, std::uint64_t seed) {
  Rng rng(seed);
  Bytes out;
  out.reserve(size + 16);
  std::size_t lineLength = 0;
  bool capital = true;
  while (out.size() < size) {
    std::string word = kWords[rng.Below(kWords.size())];
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    capital = false;
    if (rng.Below(40) == 0) word += std::to_string(rng.Below(10000));
    out.insert(out.end(), word.begin(), word.end());
    lineLength += word.size();
    std::uint32_t p = rng.Below(20);
    if (p == 0) {
      out.push_back('.');
      capital = true;
    } else if (p == 1) {
      out.push_back(',');
    }
    if (lineLength > 70) {
      out.push_back('\n');
      lineLength = 0;
    } else {
      out.push_back(' ');
      ++lineLength;
    }
  }
  out.resize(size);
  return out;
}

Bytes Run(std::size_t size, std::uint8_t value) { return Bytes(size, value); }

Bytes Binary(std::size_t size, std::uint64_t seed) {
  Rng rng(seed);
  Bytes out;
  out.reserve(size + 64);
  std::uint32_t counter = 0;
  while (out.size() < size) {
    // A 32-byte record: counter, a small type, a random-ish value, an offset and padding.
    std::uint32_t fields[4] = {counter++, rng.Below(8), static_cast<std::uint32_t>(rng.Next()),
                               counter * 48u};
    for (std::uint32_t f : fields) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(f >> (8 * i)));
    }
    std::uint32_t pad = 8 + rng.Below(9);
    for (std::uint32_t i = 0; i < pad; ++i) out.push_back(0);
    if (rng.Below(16) == 0) {
      for (int i = 0; i < 24; ++i) out.push_back(static_cast<std::uint8_t>(0x80 + rng.Below(128)));
    }
  }
  out.resize(size);
  return out;
}

std::vector<Sample> VariedSet(bool big) {
  std::vector<Sample> set;
  set.push_back({"empty", {}});
  set.push_back({"one-byte", {0x41}});
  set.push_back({"text", Text(50000, 1)});
  set.push_back({"random", RandomBytes(20000, 2)});
  set.push_back({"run", Run(300000, 'z')});
  set.push_back({"just-over-64k", Text(65537, 3)});
  set.push_back({"binary", Binary(100000, 4)});
  if (big) {
    // Several MB: text, structured binary and random data in turn, so that the window slides
    // many times and blocks of every kind follow each other.
    Bytes mixed;
    for (int i = 0; i < 4; ++i) {
      Bytes t = Text(400000, 10 + i);
      Bytes b = Binary(300000, 20 + i);
      Bytes r = RandomBytes(100000, 30 + i);
      mixed.insert(mixed.end(), t.begin(), t.end());
      mixed.insert(mixed.end(), b.begin(), b.end());
      mixed.insert(mixed.end(), r.begin(), r.end());
    }
    set.push_back({"mixed-3mb", std::move(mixed)});
  }
  return set;
}

std::size_t MemoryIo::ReadSource(std::uint8_t* buffer, std::size_t size) {
  std::size_t n = std::min(size, source_.size() - readPos_);
  if (maxRead != 0) n = std::min(n, maxRead);
  if (n == 0) return 0;
  std::memcpy(buffer, source_.data() + readPos_, n);
  readPos_ += n;
  return n;
}

void MemoryIo::WriteOutput(const std::uint8_t* data, std::size_t size) {
  if (failAfter != 0 && output.size() + size > failAfter) throw std::runtime_error("disk full");
  output.insert(output.end(), data, data + size);
}

Compressed Compress(archive::TDeflateCompressor& compressor, const Bytes& input, int level) {
  MemoryIo io(input);
  Compressed result;
  result.size = compressor.Deflate(level, io, result.entry);
  result.output = std::move(io.output);
  return result;
}

Compressed Compress(const Bytes& input, int level) {
  archive::TDeflateCompressor compressor;
  return Compress(compressor, input, level);
}

}  // namespace testcorpus
