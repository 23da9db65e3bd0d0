// Blocks: the tallied symbols become one RFC 1951 block, raw, stored, fixed or dynamic.
//
// For each block both Huffman trees are built (a binary heap ordered by frequency, ties to
// the shallower subtree), their lengths capped at 15 bits with the classic overflow repair,
// and the code-length tree built over the run-length coded lengths. dynBits_ and fixedBits_
// then hold the exact size of the block's body under either coding, which decides the block
// type and is checked against the bits actually written at the end of each file.
#include <algorithm>
#include <type_traits>

#include "archive/deflate_state.h"

namespace archive {

namespace deflater {

void CompressorState::Fail(const char* text) { throw EDeflateAssertion(text); }

bool CompressorState::BlockCheck(std::uint32_t curPos) const {
  if (level_ > 2 && (symCount_ & 0xFFF) == 0) {
    // Estimate the block's compressed size crudely (8 bits a symbol plus distance costs);
    // when it compresses well and holds few matches, end it so that the next block's trees
    // can adapt.
    std::uint64_t outLength = static_cast<std::uint64_t>(symCount_) * 8;
    for (int dcode = 0; dcode < kDCodes; ++dcode) {
      outLength += static_cast<std::uint64_t>(dTree_.freq[dcode]) * (5u + kExtraDBits[dcode]);
    }
    outLength >>= 3;
    std::int64_t inLength = static_cast<std::int64_t>(curPos) - blockPos_;
    if (matchCount_ < symCount_ / 2 && static_cast<std::int64_t>(outLength) < inLength / 2) {
      return true;
    }
  }
  return symCount_ == kLitBufSize - 1 || matchCount_ == kDistBufSize;
}

void CompressorState::InitBlock() {
  std::fill_n(lTree_.freq.begin(), kLCodes, 0u);
  std::fill_n(dTree_.freq.begin(), kDCodes, 0u);
  std::fill_n(blTree_.freq.begin(), kBlCodes, 0u);
  lTree_.freq[kEndBlock] = 1;
  std::memset(flagBuf_.get(), 0, (symCount_ + 7) / 8);
  symCount_ = 0;
  matchCount_ = 0;
  dynBits_ = 0;
  fixedBits_ = 0;
}

void CompressorState::GuessText() {
  std::uint64_t bin = 0;
  std::uint64_t ascii = 0;
  int n = 0;
  for (; n < 7; ++n) bin += lTree_.freq[n];
  for (; n < 128; ++n) ascii += lTree_.freq[n];
  for (; n < kLiterals; ++n) bin += lTree_.freq[n];
  entry_->InternalAttributes = bin <= ascii / 4 ? 1 : 0;
}

namespace {

// A heap entry: the node's frequency and depth, compared as one number (lower frequency
// first, then the shallower node), above its number. Nodes are compared by Rank only.
constexpr int kNodeBits = 16;
constexpr std::uint64_t HeapKey(std::uint64_t freq, unsigned depth, int node) {
  return (freq << 8 | depth) << kNodeBits | static_cast<unsigned>(node);
}
constexpr std::uint64_t Rank(std::uint64_t key) { return key >> kNodeBits; }
constexpr int Node(std::uint64_t key) { return static_cast<int>(key & 0xFFFF); }
constexpr unsigned Depth(std::uint64_t key) { return static_cast<unsigned>(Rank(key) & 0xFF); }
constexpr std::uint64_t Freq(std::uint64_t key) { return Rank(key) >> 8; }

// Restores the heap property below k. A node is smaller when its frequency is lower, or equal
// with a depth no greater, which keeps the trees shallow; on a tie the right child and then
// the node sifted down win.
inline void DownHeap(std::uint64_t* heap, int len, int k) {
  const std::uint64_t v = heap[k];
  int j = k << 1;
  while (j <= len) {
    if (j < len && Rank(heap[j + 1]) <= Rank(heap[j])) ++j;
    if (Rank(v) <= Rank(heap[j])) break;
    heap[k] = heap[j];
    k = j;
    j <<= 1;
  }
  heap[k] = v;
}

}  // namespace

void CompressorState::BuildTree(HuffTree& tree, int elems, int maxLength, const std::uint8_t* extra,
                                int extraBase, const std::uint16_t* staticLen) {
  std::uint64_t* const heap = heapKeys_.data();
  int len = 0;
  int maxCode = -1;
  heapMax_ = kHeapSize;
  for (int n = 0; n < elems; ++n) {
    if (tree.freq[n] != 0) {
      heap[++len] = HeapKey(tree.freq[n], 0, n);
      maxCode = n;
    } else {
      tree.len[n] = 0;
    }
  }
  // RFC 1951 needs at least two codes per tree (a one-code tree is incomplete), so force
  // some in with frequency 1 and take their cost out of the estimates again.
  while (len < 2) {
    const int node = maxCode < 2 ? ++maxCode : 0;
    heap[++len] = HeapKey(1, 0, node);
    tree.freq[node] = 1;
    --dynBits_;
    if (staticLen != nullptr) fixedBits_ -= staticLen[node];
  }
  tree.maxCode = maxCode;
  for (int n = len / 2; n >= 1; --n) DownHeap(heap, len, n);

  // Combine the two least frequent nodes until one is left. The removed nodes are recorded
  // from the top of heap_ downwards, so heap_[heapMax_..] ends up ordered root first.
  int node = elems;
  do {
    const std::uint64_t n = heap[1];
    heap[1] = heap[len--];
    DownHeap(heap, len, 1);
    const std::uint64_t m = heap[1];
    heap_[--heapMax_] = Node(n);
    heap_[--heapMax_] = Node(m);
    const std::uint64_t freq = Freq(n) + Freq(m);
    tree.freq[node] = static_cast<std::uint32_t>(freq);
    tree.dad[Node(n)] = tree.dad[Node(m)] = static_cast<std::uint16_t>(node);
    heap[1] = HeapKey(freq, std::max(Depth(n), Depth(m)) + 1, node++);
    DownHeap(heap, len, 1);
  } while (len >= 2);
  heap_[--heapMax_] = Node(heap[1]);

  GenBitLen(tree, maxLength, extra, extraBase, staticLen);
  GenCodes(tree);
}

void CompressorState::GenBitLen(HuffTree& tree, int maxLength, const std::uint8_t* extra,
                                int extraBase, const std::uint16_t* staticLen) {
  blCount_.fill(0);
  tree.len[heap_[heapMax_]] = 0;  // the root
  // Parents come before their children in heap_[heapMax_..], so each length is the parent's
  // plus one. Every node (leaf or inner) that lands below maxLength counts as overflow.
  int overflow = 0;
  int h = heapMax_ + 1;
  for (; h < kHeapSize; ++h) {
    int n = heap_[h];
    int bits = tree.len[tree.dad[n]] + 1;
    if (bits > maxLength) {
      bits = maxLength;
      ++overflow;
    }
    tree.len[n] = static_cast<std::uint16_t>(bits);
    if (n > tree.maxCode) continue;  // inner node
    ++blCount_[bits];
    int xbits = n >= extraBase ? extra[n - extraBase] : 0;
    std::int64_t f = tree.freq[n];
    dynBits_ += f * (bits + xbits);
    if (staticLen != nullptr) fixedBits_ += f * (staticLen[n] + xbits);
  }
  if (overflow == 0) return;

  // Each round moves one leaf from the deepest length below the maximum down one level,
  // pairing it with a leaf from the maximum: the code space used drops by one maxLength slot.
  // A capped subtree with k leaves counted 2k - 2 overflowing nodes and needs k - 1 rounds.
  do {
    int bits = maxLength - 1;
    while (blCount_[bits] == 0) --bits;
    --blCount_[bits];
    blCount_[bits + 1] += 2;
    --blCount_[maxLength];
    overflow -= 2;
  } while (overflow > 0);

  // Hand the lengths out again: the longest to the nodes removed first (least frequent).
  for (int bits = maxLength; bits != 0; --bits) {
    int count = blCount_[bits];
    while (count != 0) {
      int m = heap_[--h];
      if (m > tree.maxCode) continue;
      if (tree.len[m] != bits) {
        dynBits_ += (static_cast<std::int64_t>(bits) - tree.len[m]) * tree.freq[m];
        tree.len[m] = static_cast<std::uint16_t>(bits);
      }
      --count;
    }
  }
}

void CompressorState::GenCodes(HuffTree& tree) {
  std::array<std::uint32_t, kMaxBits + 1> nextCode{};
  std::uint32_t code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + blCount_[bits - 1]) << 1;
    nextCode[bits] = code;
  }
  // A complete prefix code uses the code space exactly.
  if (code + blCount_[kMaxBits] - 1 != (1u << kMaxBits) - 1) {
    Fail("inconsistent bit counts-gencodes");
  }
  for (int n = 0; n <= tree.maxCode; ++n) {
    int len = tree.len[n];
    if (len == 0) continue;
    tree.code[n] = ReverseCode(nextCode[len]++, len);
  }
}

namespace {

// One run of equal code lengths, as the code-length alphabet codes it.
struct LengthRun {
  int len;         // the code length
  int count;       // how many codes in a row have it
  bool plain;      // too short for a repeat code: sent as count single lengths
  bool afterSame;  // the previous run had the same length, so a repeat may start at once
};

// Cuts the code lengths of tree into the runs the code-length tree codes and calls run for
// each, in order: up to 138 zeros (at least 3 for a repeat code), or a length once followed
// by up to 6 repeats of it (at least 3), else single lengths. Counting the code-length
// frequencies and sending the lengths go through this one cut, so they cannot disagree.
template <class Run>
void ForEachLengthRun(const HuffTree& tree, Run run) {
  int prevLen = -1;
  int nextLen = tree.len[0];
  int count = 0;
  int maxCount = 7;
  int minCount = 4;
  if (nextLen == 0) {
    maxCount = 138;
    minCount = 3;
  }
  for (int n = 0; n <= tree.maxCode; ++n) {
    const int curLen = nextLen;
    nextLen = n < tree.maxCode ? tree.len[n + 1] : -1;
    if (++count < maxCount && curLen == nextLen) continue;
    run(LengthRun{curLen, count, count < minCount, curLen == prevLen});
    count = 0;
    prevLen = curLen;
    if (nextLen == 0) {
      maxCount = 138;
      minCount = 3;
    } else if (curLen == nextLen) {
      maxCount = 6;
      minCount = 3;
    } else {
      maxCount = 7;
      minCount = 4;
    }
  }
}

}  // namespace

void CompressorState::ScanTree(const HuffTree& tree) {
  ForEachLengthRun(tree, [this](const LengthRun& r) {
    if (r.plain) {
      blTree_.freq[r.len] += r.count;
    } else if (r.len != 0) {
      if (!r.afterSame) ++blTree_.freq[r.len];
      ++blTree_.freq[kRep3To6];
    } else if (r.count <= 10) {
      ++blTree_.freq[kRepZero3To10];
    } else {
      ++blTree_.freq[kRepZero11To138];
    }
  });
}

void CompressorState::SendTree(const HuffTree& tree) {
  auto sendCode = [this](int c) {
    SendBits(blTree_.code[c], blTree_.len[c]);
    FlushBits();
  };
  ForEachLengthRun(tree, [&](const LengthRun& r) {
    int count = r.count;
    if (r.plain) {
      do {
        sendCode(r.len);
      } while (--count != 0);
    } else if (r.len != 0) {
      if (!r.afterSame) {
        sendCode(r.len);
        --count;
      }
      if (count < 3 || count > 6) Fail(" 3_6? - send_tree");
      sendCode(kRep3To6);
      SendBits(static_cast<unsigned>(count - 3), 2);
    } else if (count <= 10) {
      sendCode(kRepZero3To10);
      SendBits(static_cast<unsigned>(count - 3), 3);
    } else {
      sendCode(kRepZero11To138);
      SendBits(static_cast<unsigned>(count - 11), 7);
    }
    FlushBits();
  });
}

int CompressorState::BuildBlTree() {
  ScanTree(lTree_);
  ScanTree(dTree_);
  BuildTree(blTree_, kBlCodes, kMaxBlBits, kExtraBlBits.data(), 0, nullptr);
  // At least 4 code-length codes are always sent.
  int maxBlIndex = kBlCodes - 1;
  for (; maxBlIndex >= 3; --maxBlIndex) {
    if (blTree_.len[kBlOrder[maxBlIndex]] != 0) break;
  }
  dynBits_ += 3 * (maxBlIndex + 1) + 5 + 5 + 4;
  return maxBlIndex;
}

void CompressorState::SendAllTrees(int lcodes, int dcodes, int blcodes) {
  if (lcodes < 257 || dcodes < 1 || blcodes < 4) Fail("not enough codes-send_all_trees");
  if (lcodes > kLCodes || dcodes > kDCodes || blcodes > kBlCodes) {
    Fail("too many codes-send_all_trees");
  }
  SendBits(static_cast<unsigned>(lcodes - 257), 5);
  SendBits(static_cast<unsigned>(dcodes - 1), 5);
  SendBits(static_cast<unsigned>(blcodes - 4), 4);
  FlushBits();
  for (int rank = 0; rank < blcodes; ++rank) {
    SendBits(blTree_.len[kBlOrder[rank]], 3);
    FlushBits();
  }
  SendTree(lTree_);
  SendTree(dTree_);
}

void CompressorState::CompressBlock(const std::uint16_t* lCode, const std::uint16_t* lLen,
                                    const std::uint16_t* dCode, const std::uint16_t* dLen) {
  // Per block, fold each length's code and extra bits into one field, so a match costs two
  // table loads and two SendBits.
  std::array<std::uint32_t, 256> lengthBits;
  std::array<std::uint8_t, 256> lengthCount;
  for (int lc = 0; lc < 256; ++lc) {
    int code = kTables.lengthCode[lc];
    int sym = kLiterals + 1 + code;
    lengthBits[lc] = lCode[sym] | static_cast<std::uint32_t>(lc - kTables.baseLength[code])
                                      << lLen[sym];
    lengthCount[lc] = static_cast<std::uint8_t>(lLen[sym] + kExtraLBits[code]);
  }
  const std::uint8_t* litBuf = litBuf_.get();
  const std::uint8_t* flagBuf = flagBuf_.get();
  const std::uint16_t* distBuf = distBuf_.get();
  // The bit buffer in locals: stores into the output bytes could alias the members, which
  // would then be reloaded for every symbol.
  std::uint64_t bitBuf = bitBuf_;
  unsigned bitCount = bitCount_;
  std::uint8_t* const out = outBuf_.get();
  std::uint32_t outPos = outPos_;
  std::uint32_t matchIndex = 0;
  // Where literals and matches mix, which comes next cannot be predicted: both codings are
  // worked out and one is kept by mask. Where nearly all symbols are literals, a branch costs
  // less.
  auto send = [&](auto mixed) {
    for (std::uint32_t i = 0; i < symCount_; ++i) {
      const unsigned lc = litBuf[i];
      const bool isMatch = (flagBuf[i >> 3] >> (i & 7)) & 1;
      std::uint64_t value;
      unsigned bits;
      if (decltype(mixed)::value || isMatch) {
        // For a literal of a mixed block, distBuf[matchIndex] is a stale entry, but one inside
        // the buffer: matchIndex is at most the block's match count, below its size.
        const unsigned dist = distBuf[matchIndex];
        const unsigned code = DistCode(dist);
        const std::uint64_t distField =
            dCode[code] | static_cast<std::uint64_t>(dist - kTables.baseDist[code]) << dLen[code];
        value = lengthBits[lc] | distField << lengthCount[lc];
        bits = lengthCount[lc] + dLen[code] + kExtraDBits[code];
        if constexpr (decltype(mixed)::value) {
          const std::uint64_t mask = 0 - static_cast<std::uint64_t>(isMatch);
          value = (value & mask) | (lCode[lc] & ~mask);
          bits = static_cast<unsigned>((bits & mask) | (lLen[lc] & ~mask));
        }
        matchIndex += isMatch;
      } else {
        value = lCode[lc];
        bits = lLen[lc];
      }
      // At most 7 + 48 bits are in the buffer here.
      bitBuf |= value << bitCount;
      bitCount += bits;
      StoreBits(out + outPos, bitBuf);
      outPos += bitCount >> 3;
      bitBuf >>= bitCount & ~7u;
      bitCount &= 7;
      if (outPos >= kOutBufSize) {
        outPos_ = outPos;
        FlushOutput();
        outPos = outPos_;
      }
    }
  };
  if (matchCount_ >= symCount_ / 4) {
    send(std::true_type{});
  } else {
    send(std::false_type{});
  }
  bitBuf_ = bitBuf;
  bitCount_ = bitCount;
  outPos_ = outPos;
  SendBits(lCode[kEndBlock], lLen[kEndBlock]);
  FlushBits();
}

void CompressorState::AlignByte() {
  FlushBits();
  if (bitCount_ > 0) {
    outBuf_[outPos_++] = static_cast<std::uint8_t>(bitBuf_);
    if (outPos_ >= kOutBufSize) FlushOutput();
  }
  bitBuf_ = 0;
  bitCount_ = 0;
}

void CompressorState::FlushOutput() {
  if (outPos_ == 0) return;
  io_->WriteOutput(outBuf_.get(), outPos_);
  bytesWritten_ += outPos_;
  outPos_ = 0;
}

void CompressorState::CopyStored(const std::uint8_t* data, std::uint32_t length, bool header) {
  AlignByte();
  if (header) {
    std::uint8_t lengths[4] = {
        static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(~length), static_cast<std::uint8_t>(~length >> 8)};
    for (std::uint8_t b : lengths) outBuf_[outPos_++] = b;
  }
  FlushOutput();
  if (length != 0) {
    io_->WriteOutput(data, length);
    bytesWritten_ += length;
  }
}

void CompressorState::EmitBlock(std::uint32_t curPos, bool last) {
  const std::uint32_t storedLength = curPos - static_cast<std::uint32_t>(blockPos_);
  const std::uint8_t* data = blockPos_ >= 0 ? window_.get() + blockPos_ : nullptr;
  if (entry_->InternalAttributes == 2) GuessText();

  BuildTree(lTree_, kLCodes, kMaxBits, kExtraLBits.data(), kLiterals + 1,
            kTables.staticLLen.data());
  BuildTree(dTree_, kDCodes, kMaxBits, kExtraDBits.data(), 0, kTables.staticDLen.data());
  const int maxBlIndex = BuildBlTree();

  const std::int64_t dynBytes = (dynBits_ + 3 + 7) >> 3;
  const std::int64_t fixedBytes = (fixedBits_ + 3 + 7) >> 3;
  const std::int64_t bestBytes = std::min(dynBytes, fixedBytes);
  inputLength_ += storedLength;

  if (last && compressedBits_ == 0 && data != nullptr && storedLength <= bestBytes) {
    // The whole file in one block that does not shrink: write it as is, as a stored entry.
    CopyStored(data, storedLength, false);
    compressedBits_ = static_cast<std::uint64_t>(storedLength) << 3;
    entry_->Method = 0;
  } else if (data != nullptr && storedLength + 4 <= bestBytes && storedLength <= 0xFFFF) {
    SendBits(last ? 1 : 0, 3);  // block type 0 (stored)
    compressedBits_ = (compressedBits_ + 3 + 7) & ~std::uint64_t{7};
    compressedBits_ += (static_cast<std::uint64_t>(storedLength) + 4) << 3;
    CopyStored(data, storedLength, true);
  } else if (fixedBytes == bestBytes) {
    SendBits((1u << 1) + (last ? 1 : 0), 3);
    compressedBits_ += 3 + static_cast<std::uint64_t>(fixedBits_);
    CompressBlock(kTables.staticLCode.data(), kTables.staticLLen.data(), kTables.staticDCode.data(),
                  kTables.staticDLen.data());
  } else {
    SendBits((2u << 1) + (last ? 1 : 0), 3);
    compressedBits_ += 3 + static_cast<std::uint64_t>(dynBits_);
    SendAllTrees(lTree_.maxCode + 1, dTree_.maxCode + 1, maxBlIndex + 1);
    CompressBlock(lTree_.code.data(), lTree_.len.data(), dTree_.code.data(), dTree_.len.data());
  }
  InitBlock();
  if (last) {
    AlignByte();
    compressedBits_ += 7;
  }
}

}  // namespace deflater

}  // namespace archive
