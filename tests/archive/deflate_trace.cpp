#include "deflate_trace.h"

#include <array>
#include <stdexcept>

namespace testtrace {

namespace {

class BitReader {
 public:
  explicit BitReader(const std::vector<std::uint8_t>& in) : in_(in) {}
  std::uint32_t Bits(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      if (pos_ >= in_.size() * 8) throw std::runtime_error("past end");
      v |= static_cast<std::uint32_t>((in_[pos_ >> 3] >> (pos_ & 7)) & 1) << i;
      ++pos_;
    }
    return v;
  }
  void Align() { pos_ = (pos_ + 7) & ~std::size_t{7}; }
  std::size_t Position() const { return pos_; }

 private:
  const std::vector<std::uint8_t>& in_;
  std::size_t pos_ = 0;
};

// Canonical Huffman decoding, one bit at a time (RFC 1951, 3.2.2).
struct Huffman {
  std::array<int, 16> count{};
  std::vector<int> symbols;
  explicit Huffman(const std::vector<int>& lengths) {
    for (int l : lengths) ++count[l];
    count[0] = 0;
    std::array<int, 16> offs{};
    for (int l = 1; l < 16; ++l) offs[l] = offs[l - 1] + count[l - 1];
    symbols.assign(lengths.size(), 0);
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] != 0) symbols[offs[lengths[s]]++] = static_cast<int>(s);
    }
  }
  int Decode(BitReader& br) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      code |= static_cast<int>(br.Bits(1));
      int c = count[len];
      if (code - c < first) return symbols[index + (code - first)];
      index += c;
      first += c;
      first <<= 1;
      code <<= 1;
    }
    throw std::runtime_error("bad code");
  }
};

constexpr std::array<int, 29> kLenBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                          15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                          67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLenExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void Codes(Trace& t, BitReader& br, const Huffman& lit, const Huffman& dist) {
  for (;;) {
    int sym = lit.Decode(br);
    if (sym < 256) {
      t.symbols.push_back({static_cast<std::uint32_t>(t.data.size()), 1, 0});
      t.data.push_back(static_cast<std::uint8_t>(sym));
      ++t.literals;
    } else if (sym == 256) {
      return;
    } else {
      sym -= 257;
      if (sym >= 29) throw std::runtime_error("bad length");
      int len = kLenBase[sym] + static_cast<int>(br.Bits(kLenExtra[sym]));
      int ds = dist.Decode(br);
      if (ds >= 30) throw std::runtime_error("bad distance");
      int d = kDistBase[ds] + static_cast<int>(br.Bits(kDistExtra[ds]));
      if (static_cast<std::size_t>(d) > t.data.size()) throw std::runtime_error("too far");
      const auto position = static_cast<std::uint32_t>(t.data.size());
      for (int i = 0; i < len; ++i) t.data.push_back(t.data[t.data.size() - d]);
      t.matches.push_back(
          {position, static_cast<std::uint32_t>(len), static_cast<std::uint32_t>(d)});
      t.symbols.push_back(
          {position, static_cast<std::uint32_t>(len), static_cast<std::uint32_t>(d)});
    }
  }
}

}  // namespace

Trace Decode(const std::vector<std::uint8_t>& stream) {
  Trace t;
  BitReader br(stream);
  try {
    bool last = false;
    while (!last) {
      Block block{};
      block.bitStart = br.Position();
      block.firstSymbol = t.symbols.size();
      block.dataStart = t.data.size();
      last = br.Bits(1) != 0;
      int type = static_cast<int>(br.Bits(2));
      t.blockTypes.push_back(type);
      block.type = type;
      block.last = last;
      if (type == 0) {
        br.Align();
        std::uint32_t len = br.Bits(16);
        std::uint32_t nlen = br.Bits(16);
        if ((len ^ 0xFFFF) != nlen) return t;
        for (std::uint32_t i = 0; i < len; ++i)
          t.data.push_back(static_cast<std::uint8_t>(br.Bits(8)));
      } else if (type == 1) {
        std::vector<int> l(288);
        for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        Codes(t, br, Huffman(l), Huffman(std::vector<int>(30, 5)));
      } else if (type == 2) {
        int hlit = static_cast<int>(br.Bits(5)) + 257;
        int hdist = static_cast<int>(br.Bits(5)) + 1;
        int hclen = static_cast<int>(br.Bits(4)) + 4;
        static constexpr int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
        std::vector<int> cl(19);
        for (int i = 0; i < hclen; ++i) cl[kOrder[i]] = static_cast<int>(br.Bits(3));
        Huffman clh(cl);
        std::vector<int> lengths;
        while (static_cast<int>(lengths.size()) < hlit + hdist) {
          int sym = clh.Decode(br);
          if (sym < 16) {
            lengths.push_back(sym);
          } else if (sym == 16) {
            if (lengths.empty()) return t;
            int n = 3 + static_cast<int>(br.Bits(2));
            lengths.insert(lengths.end(), n, lengths.back());
          } else if (sym == 17) {
            lengths.insert(lengths.end(), 3 + br.Bits(3), 0);
          } else {
            lengths.insert(lengths.end(), 11 + br.Bits(7), 0);
          }
        }
        std::vector<int> ll(lengths.begin(), lengths.begin() + hlit);
        std::vector<int> dl(lengths.begin() + hlit, lengths.begin() + hlit + hdist);
        Codes(t, br, Huffman(ll), Huffman(dl));
      } else {
        return t;
      }
      block.bitEnd = br.Position();
      block.endSymbol = t.symbols.size();
      block.dataEnd = t.data.size();
      t.blocks.push_back(block);
    }
    t.ok = true;
  } catch (const std::exception&) {
    t.ok = false;
  }
  return t;
}

}  // namespace testtrace
