// The matcher: window management, hash chains, and the two parsing strategies.
//
// CompressFast (levels 1-3) takes the longest match found at each position at once (greedy)
// and, for matches longer than the level's lazy value, skips inserting the positions inside
// the match into the hash chains. CompressLazy (levels 4-9) holds each match back for one
// position and emits it only when the next position does not start a longer one.
//
// The chain search rejects most candidates with two 16-bit compares (the two bytes at the
// current best length, then the first two bytes) and measures survivors eight bytes at a time.
// Its result is the true common length capped at 258, the same as a byte-by-byte compare.
#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "archive/deflate_state.h"

namespace archive {

namespace deflater {

namespace {

// Length of the common prefix of a and b, both known to agree in their first two bytes,
// capped at kMaxMatch. Reads up to 8 bytes past kMaxMatch - 1 (covered by the window slack).
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b) {
  std::uint32_t n = 2;
  for (; n < kMaxMatch; n += 8) {
    std::uint64_t diff = Load64(a + n) ^ Load64(b + n);
    if (diff != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        n += static_cast<std::uint32_t>(std::countr_zero(diff)) >> 3;
      } else {
        n += static_cast<std::uint32_t>(std::countl_zero(diff)) >> 3;
      }
      return std::min(n, kMaxMatch);
    }
  }
  return kMaxMatch;
}

}  // namespace

void CompressorState::SlideTable(std::uint16_t* to, const std::uint16_t* from,
                                 std::uint32_t size) {
  // Saturating subtract: positions in the lower half fall out of reach and become "none".
  for (std::uint32_t i = 0; i < size; ++i) {
    std::uint16_t m = from[i];
    to[i] = static_cast<std::uint16_t>(m >= kWSize ? m - kWSize : 0);
  }
}

std::uint32_t CompressorState::RefillWindow(std::uint32_t& curPos, std::uint32_t& lookahead) {
  std::uint8_t* window = window_.get();
  std::uint32_t slid = 0;
  do {
    std::uint32_t more = kWindowSize - lookahead - curPos;
    if (curPos > kSlideAfter) {
      std::memcpy(window, window + kWSize, kWSize);
      curPos -= kWSize;
      blockPos_ -= static_cast<std::int32_t>(kWSize);
      SlideTable(head_.get(), head_.get(), kHashSize);
      // Links of the upper half move down with their positions; the upper half's old links
      // are never read again before their positions are inserted anew.
      SlideTable(prev_.get(), prev_.get() + kWSize, kWSize);
      const bool chainsPay = longSearches_ * 64 >= searches_;
      if (!chainsPay) useChain4_ = useChain6_ = false;
      searches_ = 0;
      longSearches_ = 0;
      // Chains dropped are not read again until StartChains builds them anew (and the next
      // file clears every head after a slide), so they need not move.
      if (useChain4_) {
        SlideTable(head4_.get(), head4_.get(), kHash4Size);
        SlideTable(prev4_.get(), prev4_.get() + kWSize, kWSize);
        std::memcpy(rank_.get(), rank_.get() + kWSize, kWSize * sizeof(std::uint16_t));
      }
      if (useChain6_) {
        SlideTable(head6_.get(), head6_.get(), kHash6Size);
        SlideTable(prev6_.get(), prev6_.get() + kWSize, kWSize);
      }
      more += kWSize;
      slid = kWSize;
      slid_ = true;
      // The chains dropped earlier pay again: build them for the window as it is now.
      if (!useChain4_ && chainsPay && level_ > kFastLevels) StartChains(curPos);
    }
    if (eof_) break;
    if (more < 2) Fail("more < 2");
    std::size_t got = io_->ReadSource(window + curPos + lookahead, more);
    if (got > more) Fail("a bit too far - deflate");
    if (got == 0) {
      eof_ = true;
    } else {
      lookahead += static_cast<std::uint32_t>(got);
      windowDirty_ = std::max(windowDirty_, curPos + lookahead);
    }
  } while (lookahead < kMinLookahead && !eof_);
  return slid;
}

void CompressorState::ClearHeads() {
  // Below this many positions, finding the entries again costs less than clearing 192 KB.
  constexpr std::uint32_t kClearOneByOne = 4096;
  if (headsUsed_ > kClearOneByOne) {
    std::memset(head_.get(), 0, kHashSize * sizeof(std::uint16_t));
    std::memset(head4_.get(), 0, kHash4Size * sizeof(std::uint16_t));
    if (heads6Used_) std::memset(head6_.get(), 0, kHash6Size * sizeof(std::uint16_t));
    heads6Used_ = false;
    return;
  }
  // The window still holds the bytes the hashes were taken from.
  const std::uint8_t* window = window_.get();
  for (std::uint32_t pos = 0; pos < headsUsed_; ++pos) {
    const std::uint32_t h = ((window[pos] << (2 * kHashShift)) ^ (window[pos + 1] << kHashShift) ^
                             window[pos + 2]) & kHashMask;
    head_[h] = 0;
    head4_[Hash4(window + pos)] = 0;
    if (heads6Used_) head6_[Hash6(window + pos)] = 0;
  }
  heads6Used_ = false;
}

void CompressorState::Checkpoint(std::uint32_t curPos) {
  const bool chainsPay = longSearches_ * 64 >= searches_;
  const bool lazy = level_ > kFastLevels;
  if (checkAt_ < kChain6After) {
    // A match moves curPos by at most 258, so the next check is still ahead.
    checkAt_ = checkAt_ == kEarlyCheck ? kSecondCheck : kChain6After;
    if (useChain4_ && !chainsPay) {
      useChain4_ = useChain6_ = false;
    } else if (!useChain4_ && chainsPay && lazy) {
      StartChains(curPos);
    }
    return;
  }
  checkAt_ = 0xFFFFFFFF;
  if (lazy && (useChain4_ || chainsPay)) StartChains(curPos);
}

void CompressorState::StartChains(std::uint32_t end) {
  const std::uint8_t* window = window_.get();
  if (!useChain4_) {
    // Each position's rank is its three-byte chain predecessor's plus one, as InsertHash
    // counted it; prev still holds that predecessor for every position in the window.
    const std::uint16_t* prev = prev_.get();
    std::uint16_t* rank = rank_.get();
    std::uint16_t* head4 = head4_.get();
    std::uint16_t* prev4 = prev4_.get();
    std::memset(head4, 0, kHash4Size * sizeof(std::uint16_t));
    for (std::uint32_t pos = 0; pos < end; ++pos) {
      rank[pos] = static_cast<std::uint16_t>(rank[prev[pos]] + 1);
      const std::uint32_t h4 = Hash4(window + pos);
      prev4[pos] = head4[h4];
      head4[h4] = static_cast<std::uint16_t>(pos);
    }
    useChain4_ = true;
  }
  if (!useChain6_ && params_.chain >= kChain6From && end >= chain6After_) {
    std::uint16_t* head6 = head6_.get();
    std::uint16_t* prev6 = prev6_.get();
    if (heads6Used_) std::memset(head6, 0, kHash6Size * sizeof(std::uint16_t));
    heads6Used_ = true;
    for (std::uint32_t pos = 0; pos < end; ++pos) {
      const std::uint32_t h6 = Hash6(window + pos);
      prev6[pos] = head6[h6];
      head6[h6] = static_cast<std::uint16_t>(pos);
    }
    useChain6_ = true;
  }
}

void CompressorState::InitMatcher() {
  ClearHeads();
  std::memset(window_.get(), 0, windowDirty_);
  windowDirty_ = 0;
  slid_ = false;
  useChain4_ = true;
  searches_ = 0;
  longSearches_ = 0;
  params_ = kLevels[level_];
  useChain6_ = params_.chain >= kChain6FromStart;
  chain6After_ = useChain6_ ? 0 : kChain6After;
  if (useChain6_) heads6Used_ = true;
  checkAt_ = kEarlyCheck;
  std::uint16_t levelFlags = level_ <= 2 ? 4 : level_ >= 8 ? 2 : 0;
  entry_->Flags = static_cast<std::uint16_t>((entry_->Flags & ~6u) | levelFlags);
  curPos_ = 0;
  blockPos_ = 0;
  eof_ = false;
  lookahead_ = 0;
  std::size_t got = io_->ReadSource(window_.get(), kWSize);
  if (got > kWSize) Fail("a bit too far - deflate");
  if (got == 0) {
    eof_ = true;
  } else {
    lookahead_ = static_cast<std::uint32_t>(got);
    windowDirty_ = lookahead_;
    if (lookahead_ < kMinLookahead) RefillWindow(curPos_, lookahead_);
  }
  hash_ = 0;
  if (lookahead_ != 0) {
    hash_ = ((hash_ << kHashShift) ^ window_[0]) & kHashMask;
    hash_ = ((hash_ << kHashShift) ^ window_[1]) & kHashMask;
  }
}

// Returns the length of the longest match for curPos among the first `chain` candidates of
// its three-byte hash chain that lie within reach (the first such candidate on a tie), but at
// least prevLen; sets matchPos when it found one longer than prevLen. A length of nice or more
// ends the search at once.
//
// Only candidates that agree with curPos in four bytes can be longer than three, and all of
// them are on curPos's four-byte chain, in the same order as on the three-byte chain. So that
// chain is walked instead: a candidate's rank tells its place on the three-byte chain, and the
// walk ends where the three-byte walk would have. When no candidate of four bytes or more
// exists and prevLen is below three, the answer is the first candidate on the three-byte
// chain that agrees in three bytes, found by walking that chain to it. Without the four-byte
// chain (useChain4_ off) the three-byte chain is walked as it is.
std::uint32_t CompressorState::FindMatch(std::uint32_t chainStart, std::uint32_t curPos,
                                         std::uint32_t prevLen, std::int32_t& matchPos) const {
  const std::uint8_t* window = window_.get();
  const std::uint16_t* prev = prev_.get();
  const std::uint8_t* scan = window + curPos;
  const std::uint32_t limit = curPos > kMaxDist ? curPos - kMaxDist : 0;
  std::uint32_t chain = params_.chain;
  if (prevLen >= params_.good) chain >>= 2;
  const std::uint32_t nice = params_.nice;
  constexpr std::uint32_t kThreeBytes = 0x00FFFFFF;
  // The first four and six bytes of a Load64.
  constexpr std::uint64_t kFourBytes =
      std::endian::native == std::endian::little ? 0xFFFFFFFFull : 0xFFFFFFFFull << 32;
  constexpr std::uint64_t kSixBytes =
      std::endian::native == std::endian::little ? 0xFFFFFFFFFFFFull : 0xFFFFFFFFFFFFull << 16;
  const std::uint32_t scan4 = Load32(scan);

  if (!useChain4_) {
    // A candidate can only beat best if it agrees with scan in bytes 0 to best. Two masked
    // 4-byte compares test a subset of those before anything else: bytes 0-2, and best-3 to
    // best (bytes 0-2 again while best is 2).
    std::uint32_t best = prevLen;
    std::uint32_t endOffset = 0;
    std::uint32_t endMask = kThreeBytes;
    if (best >= 3) {
      endOffset = best - 3;
      endMask = 0xFFFFFFFF;
    }
    std::uint32_t scanEnd = Load32(scan + endOffset) & endMask;
    std::uint32_t candidate = chainStart;
    do {
      const std::uint8_t* match = window + candidate;
      if ((Load32(match + endOffset) & endMask) != scanEnd ||
          (Load32(match) & kThreeBytes) != (scan4 & kThreeBytes)) {
        continue;
      }
      const std::uint32_t len = CommonLength(scan, match);
      if (len > best) {
        matchPos = static_cast<std::int32_t>(candidate);
        best = len;
        if (len >= nice) break;
        endOffset = best - 3;
        endMask = 0xFFFFFFFF;
        scanEnd = Load32(scan + endOffset);
      }
    } while ((candidate = prev[candidate]) > limit && --chain != 0);
    if (best > prevLen && best > kMinMatch) ++longSearches_;
    return best;
  }

  const std::uint16_t* rank = rank_.get();
  const std::uint16_t startRank = rank[chainStart];
  // A candidate must agree in bytes 0 to best to be longer than best (at least 3): its first
  // four bytes and the four ending at best are checked before it is measured.
  std::uint32_t best = std::max(prevLen, kMinMatch);
  std::uint32_t endOffset = best - 3;
  std::uint32_t scanEnd = Load32(scan + endOffset);
  bool found = false;
  bool agreed = false;
  std::uint32_t candidate;
  // With the six-byte chain, the walk follows the four-byte chain until best reaches
  // kLongMatch, then the six-byte chain of the best candidate (or of curPos, when prevLen is
  // that long already): whatever beats a match of six bytes or more agrees with it in those
  // six bytes, so it lies further down that chain. A candidate's key (its first four or six
  // bytes) must equal scan's. The chain is chosen without branches: which one is taken depends
  // on the data and is hard to predict. Without it the plain four-byte walk is cheaper.
  auto walk = [&](auto withChain6) {
    constexpr bool kChain6 = decltype(withChain6)::value;
    const std::uint16_t* const prev4 = prev4_.get();
    const std::uint16_t* const prev6 = prev6_.get();
    const std::uint64_t scan8 = Load64(scan);
    const std::uint16_t* links = prev4;
    std::uint64_t keyMask = kFourBytes;
    if constexpr (kChain6) {
      links = best >= kLongMatch ? prev6 : prev4;
      keyMask = best >= kLongMatch ? kSixBytes : kFourBytes;
    }
    std::uint64_t scanKey = scan8 & keyMask;
    // The chain start itself may sit exactly at the limit; the three-byte walk visits it then.
    for (candidate = links[curPos]; candidate > limit || candidate == chainStart;
         candidate = links[candidate]) {
      const std::uint8_t* match = window + candidate;
      if constexpr (kChain6) {
        if ((Load64(match) & keyMask) != scanKey) continue;  // other bytes with the same hash
      } else {
        if (Load32(match) != scan4) continue;  // another four bytes with the same hash
      }
      if (static_cast<std::uint16_t>(startRank - rank[candidate]) >= chain) break;
      agreed = true;
      if (Load32(match + endOffset) != scanEnd) continue;
      const std::uint32_t len = CommonLength(scan, match);
      if (len > best) {
        matchPos = static_cast<std::int32_t>(candidate);
        best = len;
        found = true;
        if (len >= nice) break;
        endOffset = best - 3;
        scanEnd = Load32(scan + endOffset);
        if constexpr (kChain6) {
          links = best >= kLongMatch ? prev6 : prev4;
          keyMask = best >= kLongMatch ? kSixBytes : kFourBytes;
          scanKey = scan8 & keyMask;
        }
      }
    }
  };
  if (useChain6_) {
    walk(std::true_type{});
  } else {
    walk(std::false_type{});
  }
  if (agreed) ++longSearches_;
  if (found || prevLen >= kMinMatch) return found ? best : prevLen;

  // No candidate agrees in four bytes: the first that agrees in three is the match.
  candidate = chainStart;
  do {
    if ((Load32(window + candidate) & kThreeBytes) == (scan4 & kThreeBytes)) {
      matchPos = static_cast<std::int32_t>(candidate);
      return kMinMatch;
    }
  } while ((candidate = prev[candidate]) > limit && --chain != 0);
  return prevLen;
}

void CompressorState::VerifyMatch(std::uint32_t start, std::int32_t matchPos,
                                  std::uint32_t length) const {
  const std::uint8_t* window = window_.get();
  if (matchPos < 0 || std::memcmp(window + start, window + matchPos, length) != 0) {
    throw EInvalidMatch("Start: " + std::to_string(start) + ", Match: " +
                        std::to_string(matchPos) + ", Length: " + std::to_string(length));
  }
}

void CompressorState::CompressFast() {
  std::uint32_t curPos = curPos_;
  std::uint32_t lookahead = lookahead_;
  std::uint32_t hash = hash_;
  std::int32_t matchPos = 0;
  std::uint32_t matchLen = 0;
  const std::uint32_t maxInsert = params_.lazy;
  const Tables t = HashTables();
  const std::uint8_t* window = t.window;
  while (lookahead > 0) {
    std::uint32_t chainStart = InsertHash(t, hash, curPos);
    if (chainStart != 0 && curPos - chainStart <= kMaxDist) {
      ++searches_;
      matchLen = std::min(FindMatch(chainStart, curPos, kMinMatch - 1, matchPos), lookahead);
    }
    bool endBlock;
    if (matchLen >= kMinMatch) {
#ifndef NDEBUG
      VerifyMatch(curPos, matchPos, matchLen);
#endif
      endBlock = TallyMatch(curPos - static_cast<std::uint32_t>(matchPos), matchLen - kMinMatch,
                            curPos);
      lookahead -= matchLen;
      if (matchLen <= maxInsert) {
        for (std::uint32_t k = matchLen - 1; k != 0; --k) InsertHash(t, hash, ++curPos);
        ++curPos;
      } else {
        curPos += matchLen;
        hash = ((static_cast<std::uint32_t>(window[curPos]) << kHashShift) ^ window[curPos + 1]) &
               kHashMask;
      }
      matchLen = 0;
    } else {
      endBlock = TallyLiteral(window[curPos], curPos);
      --lookahead;
      ++curPos;
    }
    if (endBlock) {
      EmitBlock(curPos, false);
      blockPos_ = static_cast<std::int32_t>(curPos);
    }
    if (lookahead < kMinLookahead) {
      matchPos -= static_cast<std::int32_t>(RefillWindow(curPos, lookahead));
    }
    if (curPos >= checkAt_) Checkpoint(curPos);
  }
  EmitBlock(curPos, true);
  curPos_ = curPos;
}

void CompressorState::CompressLazy() {
  std::uint32_t curPos = curPos_;
  std::uint32_t lookahead = lookahead_;
  std::uint32_t hash = hash_;
  std::int32_t matchPos = 0;
  std::uint32_t matchLen = kMinMatch - 1;
  bool matchAvailable = false;
  const std::uint32_t lazy = params_.lazy;
  const Tables t = HashTables();
  const std::uint8_t* window = t.window;
  while (lookahead > 0) {
    std::uint32_t chainStart = InsertHash(t, hash, curPos);
    // The next position's chain head is read at the top of the next round; its hash is known
    // now, so fetch the entry while the chain search below runs.
    __builtin_prefetch(t.head + (((hash << kHashShift) ^ window[curPos + 3]) & kHashMask));
    const std::uint32_t prevLen = matchLen;
    const std::int32_t prevMatch = matchPos;
    matchLen = kMinMatch - 1;
    if (chainStart != 0 && prevLen < lazy && curPos - chainStart <= kMaxDist) {
      ++searches_;
      matchLen = std::min(FindMatch(chainStart, curPos, prevLen, matchPos), lookahead);
      if (matchLen == kMinMatch && curPos - static_cast<std::uint32_t>(matchPos) > kTooFar) {
        matchLen = kMinMatch - 1;
      }
    }
    if (prevLen >= kMinMatch && matchLen <= prevLen) {
      // The match held back from the previous position is at least as good: emit it.
#ifndef NDEBUG
      VerifyMatch(curPos - 1, prevMatch, prevLen);
#endif
      bool endBlock = TallyMatch(curPos - 1 - static_cast<std::uint32_t>(prevMatch),
                                 prevLen - kMinMatch, curPos);
      lookahead -= prevLen - 1;
      for (std::uint32_t k = prevLen - 2; k != 0; --k) InsertHash(t, hash, ++curPos);
      ++curPos;
      matchAvailable = false;
      matchLen = kMinMatch - 1;
      if (endBlock) {
        EmitBlock(curPos, false);
        blockPos_ = static_cast<std::int32_t>(curPos);
      }
    } else if (matchAvailable) {
      // No better match here: the previous position becomes a literal.
      if (TallyLiteral(window[curPos - 1], curPos)) {
        EmitBlock(curPos, false);
        blockPos_ = static_cast<std::int32_t>(curPos);
      }
      ++curPos;
      --lookahead;
    } else {
      matchAvailable = true;
      ++curPos;
      --lookahead;
    }
    if (lookahead < kMinLookahead) {
      matchPos -= static_cast<std::int32_t>(RefillWindow(curPos, lookahead));
    }
    // Every position below curPos is in the chains here.
    if (curPos >= checkAt_) Checkpoint(curPos);
  }
  if (matchAvailable) TallyLiteral(window[curPos - 1], curPos);
  EmitBlock(curPos, true);
  curPos_ = curPos;
}

}  // namespace deflater

}  // namespace archive
