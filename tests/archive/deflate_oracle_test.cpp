// Pins the compressor's exact output against Info-ZIP's zip 3.0, which runs the same matcher
// (hash chains, lazy rule, level table) and the same block rules (early block end, stored,
// fixed or dynamic by size, the fixed/dynamic tie). For every file of a varied corpus and every
// level, every block of our raw stream but the last is identical to zip's bit for bit, and the
// last block's symbols agree up to the first one that covers the last 258 bytes of input:
// there zip stops looking past the end of the data (its nice length is capped at the
// lookahead) where we keep comparing into the window's earlier bytes.
//
// A few whole streams are pinned by their CRC-32 as well, tail included.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/deflate_compressor.h"
#include "deflate_trace.h"
#include "test_corpus.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using testcorpus::Bytes;
using testsupport::Le16;
using testsupport::Le32;
using testsupport::Quote;

struct Stream {
  int method = 8;
  Bytes data;  // the raw Deflate stream, or the file itself when method is 0
};

Stream Ours(archive::TDeflateCompressor& compressor, const Bytes& input, int level) {
  testcorpus::Compressed ours = testcorpus::Compress(compressor, input, level);
  EXPECT_EQ(ours.size, ours.output.size());
  return {ours.entry.Method, std::move(ours.output)};
}

// The entries of an archive zip wrote to a seekable file, in order: sizes sit in the local
// headers, so walking them is enough.
std::vector<Stream> Entries(const Bytes& zip) {
  std::vector<Stream> entries;
  std::size_t at = 0;
  while (at + 30 <= zip.size() && Le32(zip, at) == 0x04034b50) {
    EXPECT_EQ(Le16(zip, at + 6) & 8, 0u) << "zip wrote a data descriptor";
    Stream s;
    s.method = static_cast<int>(Le16(zip, at + 8));
    const std::uint32_t size = Le32(zip, at + 18);
    const std::size_t data = at + 30 + Le16(zip, at + 26) + Le16(zip, at + 28);
    s.data.assign(zip.begin() + static_cast<std::ptrdiff_t>(data),
                  zip.begin() + static_cast<std::ptrdiff_t>(data + size));
    entries.push_back(std::move(s));
    at = data + size;
  }
  return entries;
}

bool SameBits(const Bytes& a, const Bytes& b, std::size_t from, std::size_t to) {
  for (std::size_t bit = from; bit < to; ++bit) {
    if (((a[bit >> 3] >> (bit & 7)) & 1) != ((b[bit >> 3] >> (bit & 7)) & 1)) return false;
  }
  return true;
}

// The symbols of a block up to (not including) the first that covers one of the last 258
// bytes of the input.
std::vector<testtrace::Symbol> SymbolsBeforeTail(const testtrace::Trace& t,
                                                 const testtrace::Block& b,
                                                 std::size_t inputSize) {
  const std::size_t tail = inputSize > 258 ? inputSize - 258 : 0;
  std::vector<testtrace::Symbol> out;
  for (std::size_t i = b.firstSymbol; i < b.endSymbol; ++i) {
    if (t.symbols[i].position + t.symbols[i].length > tail) break;
    out.push_back(t.symbols[i]);
  }
  return out;
}

// Compares one file's streams; returns an empty text when they agree as described above.
std::string Compare(const Bytes& input, const Stream& ours, const Stream& zip) {
  if (ours.method == 0 || zip.method == 0) {
    if (ours.method != zip.method) {
      return "method " + std::to_string(ours.method) + " against zip's " +
             std::to_string(zip.method);
    }
    return ours.data == input && zip.data == input ? "" : "raw entry differs from the input";
  }
  const testtrace::Trace a = testtrace::Decode(ours.data);
  const testtrace::Trace b = testtrace::Decode(zip.data);
  if (!a.ok || a.data != input) return "our stream does not decode to the input";
  if (!b.ok || b.data != input) return "zip's stream does not decode to the input";
  if (a.blocks.size() != b.blocks.size()) {
    return std::to_string(a.blocks.size()) + " blocks against zip's " +
           std::to_string(b.blocks.size());
  }
  const std::size_t last = a.blocks.size() - 1;
  for (std::size_t i = 0; i < last; ++i) {
    const testtrace::Block& x = a.blocks[i];
    const testtrace::Block& y = b.blocks[i];
    if (x.bitStart != y.bitStart || x.bitEnd != y.bitEnd ||
        !SameBits(ours.data, zip.data, x.bitStart, x.bitEnd)) {
      return "block " + std::to_string(i) + " of " + std::to_string(last + 1) +
             " differs (type " + std::to_string(x.type) + ", zip's " + std::to_string(y.type) +
             ")";
    }
  }
  const testtrace::Block& x = a.blocks[last];
  const testtrace::Block& y = b.blocks[last];
  if (x.dataStart != y.dataStart) return "the last block starts elsewhere";
  if (x.type == 0 || y.type == 0) {
    // A stored last block carries no symbols; only a tail that codes differently may tip
    // the choice, and then the stored block is short.
    if (x.type == y.type) return SameBits(ours.data, zip.data, x.bitStart, x.bitEnd) ? "" : "stored last block differs";
    return input.size() - x.dataStart <= 2 * 258 ? "" : "the last block's type differs";
  }
  if (std::equal(a.symbols.begin() + static_cast<std::ptrdiff_t>(x.firstSymbol),
                 a.symbols.begin() + static_cast<std::ptrdiff_t>(x.endSymbol),
                 b.symbols.begin() + static_cast<std::ptrdiff_t>(y.firstSymbol),
                 b.symbols.begin() + static_cast<std::ptrdiff_t>(y.endSymbol))) {
    // The same symbols: then the trees and the block type are the same too.
    return x.bitEnd == y.bitEnd && SameBits(ours.data, zip.data, x.bitStart, x.bitEnd)
               ? ""
               : "the last block codes the same symbols differently (type " +
                     std::to_string(x.type) + ", zip's " + std::to_string(y.type) + ")";
  }
  const auto sa = SymbolsBeforeTail(a, x, input.size());
  const auto sb = SymbolsBeforeTail(b, y, input.size());
  if (sa != sb) {
    std::size_t k = 0;
    while (k < sa.size() && k < sb.size() && sa[k] == sb[k]) ++k;
    return "last block: symbol " + std::to_string(k) + " differs before the tail (input " +
           std::to_string(input.size()) + " bytes)";
  }
  return "";
}

std::vector<testcorpus::Sample> OracleCorpus() {
  using namespace testcorpus;
  std::vector<Sample> set;
  auto add = [&set](std::string name, Bytes data) {
    set.push_back({std::move(name), std::move(data)});
  };
  add("empty", {});
  add("one-byte", {'A'});
  add("two-bytes", {'A', 'B'});
  add("three-same", {'x', 'x', 'x'});
  add("four-same", {'x', 'x', 'x', 'x'});
  add("text-10", Text(10, 101));
  add("text-100", Text(100, 102));
  for (std::size_t size : {257u, 258u, 259u, 262u, 263u, 1000u, 4096u}) {
    add("text-" + std::to_string(size), Text(size, 100 + size));
  }
  // Around the window half and the whole window, where the first fill and the first slide
  // fall.
  for (std::size_t size : {32767u, 32768u, 32769u, 32768u + 262u, 33000u, 65535u, 65536u,
                           65537u, 65536u + 258u, 65536u + 262u, 66000u, 98304u + 5u}) {
    add("text-" + std::to_string(size), Text(size, 200 + size));
  }
  // Small files, where fixed and dynamic blocks come close. These binaries make the two
  // exactly equal in size at one level or another (fixed wins a tie).
  for (std::size_t size = 300; size < 3000; size += 311) {
    add("small-text-" + std::to_string(size), Text(size, 800 + size));
  }
  for (std::size_t size : {835u, 1003u, 1010u, 1311u, 1339u, 1416u, 1570u, 1598u, 1605u, 1626u}) {
    add("tie-binary-" + std::to_string(size), Binary(size, 900 + size));
  }
  add("text-150k", Text(150000, 301));
  add("text-400k", Text(400000, 302));
  for (std::size_t size : {700u, 5000u, 32769u, 65537u, 100000u, 250000u}) {
    add("binary-" + std::to_string(size), Binary(size, 400 + size));
  }
  for (std::size_t size : {20u, 5000u, 32769u, 65537u, 70000u, 300000u}) {
    add("random-" + std::to_string(size), RandomBytes(size, 500 + size));
  }
  // Already compressed: zlib's own output, which looks like noise with some structure.
  for (int level : {1, 9}) {
    Bytes text = Text(300000, 600 + level);
    uLongf size = compressBound(text.size());
    Bytes packed(size);
    compress2(packed.data(), &size, text.data(), text.size(), level);
    packed.resize(size);
    add("zlib-" + std::to_string(level), std::move(packed));
  }
  add("run-300k", Run(300000, 'z'));
  add("zeros-70k", Run(70000, 0));
  add("run-259", Run(259, 'q'));
  {
    Bytes ab(50001);
    for (std::size_t i = 0; i < ab.size(); ++i) ab[i] = (i & 1) ? 'b' : 'a';
    add("alternating", std::move(ab));
  }
  {
    // One 1000-byte piece over and over: long matches at one distance.
    Bytes piece = RandomBytes(1000, 701);
    Bytes rep;
    for (int i = 0; i < 120; ++i) rep.insert(rep.end(), piece.begin(), piece.end());
    add("repeated-piece", std::move(rep));
  }
  {
    // Two literals, then a copy of 20 to 40 bytes from somewhere earlier: few symbols cover
    // much input, which ends blocks early.
    Bytes noise = RandomBytes(400000, 702);
    Bytes pw;
    std::size_t k = 0;
    while (pw.size() < 300000) {
      pw.push_back(static_cast<std::uint8_t>('a' + noise[k++] % 26));
      pw.push_back(static_cast<std::uint8_t>('a' + noise[k++] % 26));
      std::size_t length = 20 + noise[k++] % 21;
      std::size_t back = 1 + (noise[k] | noise[k + 1] << 8) % std::min<std::size_t>(pw.size(), 30000);
      k += 2;
      std::size_t from = pw.size() - back;
      for (std::size_t i = 0; i < length; ++i) pw.push_back(pw[from + i]);
    }
    add("patchwork", std::move(pw));
  }
  {
    // Small alphabet: many short matches of every distance.
    Bytes r = RandomBytes(120000, 703);
    for (auto& c : r) c = static_cast<std::uint8_t>("ACGT"[c & 3]);
    add("four-letters", std::move(r));
  }
  {
    Bytes mixed;
    for (int i = 0; i < 3; ++i) {
      Bytes t = Text(150000, 710 + i);
      Bytes b = Binary(100000, 720 + i);
      Bytes r = RandomBytes(40000, 730 + i);
      mixed.insert(mixed.end(), t.begin(), t.end());
      mixed.insert(mixed.end(), r.begin(), r.end());
      mixed.insert(mixed.end(), b.begin(), b.end());
    }
    add("mixed", std::move(mixed));
  }
  {
    // Noise first, text after: the matcher drops its four-byte chain early and builds it
    // anew for the window at a slide once the text has come (the six-byte one with it, at the
    // levels that keep that).
    Bytes r = RandomBytes(100000, 750);
    Bytes t = Text(200000, 751);
    r.insert(r.end(), t.begin(), t.end());
    add("random-then-text", std::move(r));
  }
  {
    // Text, noise, text: the chains are dropped at a slide and built anew at a later one.
    Bytes t = Text(70000, 752);
    Bytes r = RandomBytes(70000, 753);
    Bytes u = Text(150000, 754);
    t.insert(t.end(), r.begin(), r.end());
    t.insert(t.end(), u.begin(), u.end());
    add("text-random-text", std::move(t));
  }
  // Noise, then text in files that never slide: the four-byte chain is dropped early and
  // built anew at a later look (after 4 KB, or at 32 KB with the six-byte chain).
  for (std::size_t noise : {1500u, 6000u}) {
    Bytes r = RandomBytes(noise, 755 + noise);
    Bytes t = Text(40000, 756 + noise);
    r.insert(r.end(), t.begin(), t.end());
    add("random-" + std::to_string(noise) + "-then-text", std::move(r));
  }
  {
    Bytes t = Text(90000, 740);
    Bytes r = RandomBytes(3000, 741);
    std::copy(r.begin(), r.end(), t.begin() + 40000);
    add("text-random-patch", std::move(t));
  }
  // Real files: this compressor's own source and the start of this program's executable.
  for (const char* name : {"archive/deflate_trees.cpp", "archive/deflate_match.cpp"}) {
    Bytes src = testsupport::ReadAll(std::string(VARNHOLT_SOURCE_DIR) + "/" + name);
    if (!src.empty()) add(name, std::move(src));
  }
  {
    Bytes exe = testsupport::ReadAll("/proc/self/exe");
    if (exe.size() > 400000) exe.resize(400000);
    if (!exe.empty()) add("executable", std::move(exe));
  }
  return set;
}

class AgainstInfoZip : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    if (!testsupport::HaveTool("zip")) return;
    corpus_ = new std::vector<testcorpus::Sample>(OracleCorpus());
    dir_ = new testsupport::TempDir();
    for (std::size_t i = 0; i < corpus_->size(); ++i) {
      testsupport::WriteAll(FileName(i), (*corpus_)[i].data);
    }
  }
  static void TearDownTestSuite() {
    delete corpus_;
    delete dir_;
    corpus_ = nullptr;
    dir_ = nullptr;
  }
  // Plain names with a suffix zip does not leave uncompressed on its own.
  static std::string FileName(std::size_t i) { return dir_->File("f" + std::to_string(i) + ".bin"); }

  static std::vector<testcorpus::Sample>* corpus_;
  static testsupport::TempDir* dir_;
};
std::vector<testcorpus::Sample>* AgainstInfoZip::corpus_ = nullptr;
testsupport::TempDir* AgainstInfoZip::dir_ = nullptr;

TEST_P(AgainstInfoZip, EveryBlockButTheTailMatchesZip) {
  if (corpus_ == nullptr) GTEST_SKIP() << "Info-ZIP zip is not installed";
  ASSERT_GE(corpus_->size(), 50u);
  const int level = GetParam();
  const std::string archive = dir_->File("level" + std::to_string(level) + ".zip");
  std::string command = "zip -q -j -X -D -" + std::to_string(level) + " " + Quote(archive);
  for (std::size_t i = 0; i < corpus_->size(); ++i) command += " " + Quote(FileName(i));
  ASSERT_EQ(testsupport::Shell(command), 0) << command;
  const std::vector<Stream> theirs = Entries(testsupport::ReadAll(archive));
  ASSERT_EQ(theirs.size(), corpus_->size());

  archive::TDeflateCompressor compressor;  // one object for all files, as in one Zip operation
  for (std::size_t i = 0; i < corpus_->size(); ++i) {
    const testcorpus::Sample& sample = (*corpus_)[i];
    const Stream ours = Ours(compressor, sample.data, level);
    EXPECT_EQ(Compare(sample.data, ours, theirs[i]), "")
        << sample.name << " (" << sample.data.size() << " bytes) at level " << level;
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, AgainstInfoZip, ::testing::Range(1, 10));

}  // namespace
