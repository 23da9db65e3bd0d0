// CRC-32 in three paths.
//
// Table path (slice-by-8): eight 256-entry tables; table[k][b] is the CRC register after
// byte b is followed by k zero bytes, so eight input bytes are folded with eight independent
// lookups per step instead of eight dependent ones.
//
// Folding paths: a CRC is the remainder of message * x^32 modulo P. Splitting the message
// into 128-bit blocks, an accumulator block A that lies D bits before the block B is
// replaced by A * x^D (mod P), which is congruent and 128 bits wide again: with A = H*x^64 + L,
// the product is carry-less L * (x^(D+32) mod P) xor H * (x^(D-32) mod P), in the bit-reflected
// form PCLMULQDQ works in (constants reflected and shifted left by one). Several accumulators
// run in parallel to hide the multiplier's latency; at the end they are folded into one
// 128-bit block, and the CRC of that block and the last few bytes comes from the table
// path with a zero register (the initial register was xored into the first block).
// The fold constants were generated with this Python (P = 0x104C11DB7):
//   xmod(n): r=1; n times: r<<=1; if r>>32&1: r^=P
//   constant(n) = bitreverse32(xmod(n)) << 1
#include "archive/crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VARNHOLT_CRC_X86 1
#endif

namespace archive {

namespace {

constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320;

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
    t[0][b] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
  return t;
}

constexpr Tables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096, "first entry of the standard CRC-32 table");

std::uint32_t SliceBy8(std::uint32_t crc, const std::uint8_t* p, std::size_t size) {
  while (size >= 8) {
    const std::uint32_t lo =
        crc ^ (static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^
          kTables[0][p[7]];
    p += 8;
    size -= 8;
  }
  while (size-- > 0) crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFF];
  return crc;
}

#ifdef VARNHOLT_CRC_X86

// Fold constants: low qword multiplies the low half (x^(D+32)), high qword the high half
// (x^(D-32)), for fold distances D of 128, 256, 512, 1024 and 2048 bits.
constexpr std::uint64_t kFold128Lo = 0x1751997d0, kFold128Hi = 0x0ccaa009e;
constexpr std::uint64_t kFold256Lo = 0x0f1da05aa, kFold256Hi = 0x15a546366;
constexpr std::uint64_t kFold512Lo = 0x154442bd4, kFold512Hi = 0x1c6e41596;
constexpr std::uint64_t kFold1024Lo = 0x1e88ef372, kFold1024Hi = 0x14a7fe880;
constexpr std::uint64_t kFold2048Lo = 0x11542778a, kFold2048Hi = 0x1322d1430;

// CRC of a folded 16-byte block followed by tail bytes, register starting at zero.
std::uint32_t FinishWithTable(const std::uint8_t block[16], const std::uint8_t* tail,
                              std::size_t tailSize) {
  return SliceBy8(SliceBy8(0, block, 16), tail, tailSize);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load128(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1"))) inline __m512i Load512(
    const std::uint8_t* p) {
  return _mm512_loadu_si512(p);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i acc, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), _mm_clmulepi64_si128(acc, k, 0x11));
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t Pclmul(std::uint32_t crc,
                                                              const std::uint8_t* p,
                                                              std::size_t size) {
  if (size < 64) return SliceBy8(crc, p, size);
  __m128i x0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load128(p + 16), x2 = Load128(p + 32), x3 = Load128(p + 48);
  p += 64;
  size -= 64;
  const __m128i k512 = _mm_set_epi64x(kFold512Hi, kFold512Lo);
  while (size >= 64) {
    x0 = _mm_xor_si128(Fold(x0, k512), Load128(p));
    x1 = _mm_xor_si128(Fold(x1, k512), Load128(p + 16));
    x2 = _mm_xor_si128(Fold(x2, k512), Load128(p + 32));
    x3 = _mm_xor_si128(Fold(x3, k512), Load128(p + 48));
    p += 64;
    size -= 64;
  }
  const __m128i k128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
  __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
  x = _mm_xor_si128(Fold(x, k128), x2);
  x = _mm_xor_si128(Fold(x, k128), x3);
  while (size >= 16) {
    x = _mm_xor_si128(Fold(x, k128), Load128(p));
    p += 16;
    size -= 16;
  }
  alignas(16) std::uint8_t block[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(block), x);
  return FinishWithTable(block, p, size);
}

#define VARNHOLT_TARGET_AVX2 __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))

VARNHOLT_TARGET_AVX2 inline __m256i Load256(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

VARNHOLT_TARGET_AVX2 inline __m256i Fold256(__m256i acc, __m256i k) {
  return _mm256_xor_si256(_mm256_clmulepi64_epi128(acc, k, 0x00),
                          _mm256_clmulepi64_epi128(acc, k, 0x11));
}

// Four 256-bit accumulators (128 bytes per step) for CPUs with VPCLMULQDQ but without
// AVX-512; each holds two consecutive 128-bit blocks, folded forward over 4 * 256 bits.
VARNHOLT_TARGET_AVX2 std::uint32_t Vpclmul256(std::uint32_t crc, const std::uint8_t* p,
                                              std::size_t size) {
  if (size < 128) return Pclmul(crc, p, size);
  __m256i y0 = _mm256_xor_si256(Load256(p),
                                _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m256i y1 = Load256(p + 32), y2 = Load256(p + 64), y3 = Load256(p + 96);
  p += 128;
  size -= 128;
  const __m256i k1024 = _mm256_set_epi64x(kFold1024Hi, kFold1024Lo, kFold1024Hi, kFold1024Lo);
  while (size >= 128) {
    y0 = _mm256_xor_si256(Fold256(y0, k1024), Load256(p));
    y1 = _mm256_xor_si256(Fold256(y1, k1024), Load256(p + 32));
    y2 = _mm256_xor_si256(Fold256(y2, k1024), Load256(p + 64));
    y3 = _mm256_xor_si256(Fold256(y3, k1024), Load256(p + 96));
    p += 128;
    size -= 128;
  }
  const __m256i k256 = _mm256_set_epi64x(kFold256Hi, kFold256Lo, kFold256Hi, kFold256Lo);
  __m256i y = _mm256_xor_si256(Fold256(y0, k256), y1);
  y = _mm256_xor_si256(Fold256(y, k256), y2);
  y = _mm256_xor_si256(Fold256(y, k256), y3);
  while (size >= 32) {
    y = _mm256_xor_si256(Fold256(y, k256), Load256(p));
    p += 32;
    size -= 32;
  }
  alignas(32) std::uint8_t lanes[32];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), y);
  const __m128i k128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
  __m128i x = _mm_xor_si128(Fold(Load128(lanes), k128), Load128(lanes + 16));
  while (size >= 16) {
    x = _mm_xor_si128(Fold(x, k128), Load128(p));
    p += 16;
    size -= 16;
  }
  alignas(16) std::uint8_t block[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(block), x);
  return FinishWithTable(block, p, size);
}

__attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1"))) inline __m512i Fold512(
    __m512i acc, __m512i k) {
  return _mm512_xor_si512(_mm512_clmulepi64_epi128(acc, k, 0x00),
                          _mm512_clmulepi64_epi128(acc, k, 0x11));
}

// Four 512-bit accumulators (256 bytes per step); each holds four consecutive 128-bit
// blocks, so one accumulator is folded forward over the other three: 4 * 512 = 2048 bits.
__attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1"))) std::uint32_t Vpclmul(
    std::uint32_t crc, const std::uint8_t* p, std::size_t size) {
  if (size < 256) return Pclmul(crc, p, size);
  __m512i z0 = _mm512_xor_si512(Load512(p),
                                _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m512i z1 = Load512(p + 64), z2 = Load512(p + 128), z3 = Load512(p + 192);
  p += 256;
  size -= 256;
  const __m512i k2048 = _mm512_set_epi64(kFold2048Hi, kFold2048Lo, kFold2048Hi, kFold2048Lo,
                                         kFold2048Hi, kFold2048Lo, kFold2048Hi, kFold2048Lo);
  while (size >= 256) {
    z0 = _mm512_xor_si512(Fold512(z0, k2048), Load512(p));
    z1 = _mm512_xor_si512(Fold512(z1, k2048), Load512(p + 64));
    z2 = _mm512_xor_si512(Fold512(z2, k2048), Load512(p + 128));
    z3 = _mm512_xor_si512(Fold512(z3, k2048), Load512(p + 192));
    p += 256;
    size -= 256;
  }
  const __m512i k512 = _mm512_set_epi64(kFold512Hi, kFold512Lo, kFold512Hi, kFold512Lo, kFold512Hi,
                                        kFold512Lo, kFold512Hi, kFold512Lo);
  __m512i z = _mm512_xor_si512(Fold512(z0, k512), z1);
  z = _mm512_xor_si512(Fold512(z, k512), z2);
  z = _mm512_xor_si512(Fold512(z, k512), z3);
  while (size >= 64) {
    z = _mm512_xor_si512(Fold512(z, k512), Load512(p));
    p += 64;
    size -= 64;
  }
  // Four lanes of 128 bits, in message order: fold each into the next.
  const __m128i k128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
  alignas(64) std::uint8_t lanes[64];
  _mm512_store_si512(lanes, z);
  __m128i x = Load128(lanes);
  x = _mm_xor_si128(Fold(x, k128), Load128(lanes + 16));
  x = _mm_xor_si128(Fold(x, k128), Load128(lanes + 32));
  x = _mm_xor_si128(Fold(x, k128), Load128(lanes + 48));
  while (size >= 16) {
    x = _mm_xor_si128(Fold(x, k128), Load128(p));
    p += 16;
    size -= 16;
  }
  alignas(16) std::uint8_t block[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(block), x);
  return FinishWithTable(block, p, size);
}

#endif  // VARNHOLT_CRC_X86

using UpdateFn = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

UpdateFn ChooseUpdate() {
#ifdef VARNHOLT_CRC_X86
  if (crc32_detail::HasVpclmul()) return Vpclmul;
  if (crc32_detail::HasVpclmul256()) return Vpclmul256;
  if (crc32_detail::HasPclmul()) return Pclmul;
#endif
  return SliceBy8;
}

}  // namespace

namespace crc32_detail {

bool HasPclmul() {
#ifdef VARNHOLT_CRC_X86
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#else
  return false;
#endif
}

bool HasVpclmul256() {
#ifdef VARNHOLT_CRC_X86
  __builtin_cpu_init();
  return HasPclmul() && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

bool HasVpclmul() {
#ifdef VARNHOLT_CRC_X86
  __builtin_cpu_init();
  return HasPclmul() && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512vl");
#else
  return false;
#endif
}

std::uint32_t UpdateSliceBy8(std::uint32_t crc, const void* data, std::size_t size) {
  return SliceBy8(crc, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t UpdatePclmul(std::uint32_t crc, const void* data, std::size_t size) {
#ifdef VARNHOLT_CRC_X86
  if (HasPclmul()) return Pclmul(crc, static_cast<const std::uint8_t*>(data), size);
#endif
  return UpdateSliceBy8(crc, data, size);
}

std::uint32_t UpdateVpclmul256(std::uint32_t crc, const void* data, std::size_t size) {
#ifdef VARNHOLT_CRC_X86
  if (HasVpclmul256()) return Vpclmul256(crc, static_cast<const std::uint8_t*>(data), size);
#endif
  return UpdatePclmul(crc, data, size);
}

std::uint32_t UpdateVpclmul(std::uint32_t crc, const void* data, std::size_t size) {
#ifdef VARNHOLT_CRC_X86
  if (HasVpclmul()) return Vpclmul(crc, static_cast<const std::uint8_t*>(data), size);
#endif
  return UpdateVpclmul256(crc, data, size);
}

}  // namespace crc32_detail

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* data, std::size_t size) {
  // Chosen once; the only process-wide state of the archive layer.
  static const UpdateFn update = ChooseUpdate();
  return update(crc, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t Crc32(const void* data, std::size_t size) {
  return ~UpdateCrc32(0xFFFFFFFFu, data, size);
}

}  // namespace archive
