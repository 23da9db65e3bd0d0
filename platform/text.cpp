#include "platform/text.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace platform {

namespace {

// Code page 437, bytes 0x80 to 0xFF, as Unicode code points.
constexpr std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one well-formed UTF-8 sequence at text[i]; returns its length, or 0 when the
// bytes there are not one (overlong forms, surrogates and stray bytes included).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length;
  char32_t min;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

// Case mapping from glibc's C.UTF-8 tables, which cover all of Unicode and do not
// depend on the user's locale.
class CaseMapper {
 public:
  CaseMapper() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {}
  ~CaseMapper() {
    if (locale_ != static_cast<locale_t>(0)) freelocale(locale_);
  }
  CaseMapper(const CaseMapper&) = delete;
  CaseMapper& operator=(const CaseMapper&) = delete;

  std::string Map(std::string_view text, bool upper) const {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c < 0x80) {  // fast path for ASCII
        out += static_cast<char>(upper ? (c >= 'a' && c <= 'z' ? c - 32 : c)
                                       : (c >= 'A' && c <= 'Z' ? c + 32 : c));
        ++i;
        continue;
      }
      char32_t cp = 0;
      const std::size_t length = DecodeUtf8(text, i, cp);
      if (length == 0) {  // not UTF-8: the byte passes through
        out += text[i];
        ++i;
        continue;
      }
      if (locale_ != static_cast<locale_t>(0)) {
        cp = static_cast<char32_t>(upper ? towupper_l(static_cast<wint_t>(cp), locale_)
                                         : towlower_l(static_cast<wint_t>(cp), locale_));
      }
      AppendUtf8(out, cp);
      i += length;
    }
    return out;
  }

 private:
  locale_t locale_;
};

const CaseMapper& Mapper() {
  static const CaseMapper mapper;  // immutable after construction; safe to share
  return mapper;
}

}  // namespace

std::string UpperCase(std::string_view utf8) { return Mapper().Map(utf8, true); }
std::string LowerCase(std::string_view utf8) { return Mapper().Map(utf8, false); }

bool SameText(std::string_view a, std::string_view b) { return UpperCase(a) == UpperCase(b); }

std::string_view TruncateUtf8(std::string_view utf8, std::size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  std::size_t end = maxBytes;
  // Step back over continuation bytes to the lead byte of the character that would be cut.
  std::size_t lead = end;
  while (lead > 0 && (static_cast<unsigned char>(utf8[lead]) & 0xC0) == 0x80 && end - lead < 3) {
    --lead;
  }
  if (lead != end) {
    char32_t cp = 0;
    const std::size_t length = DecodeUtf8(utf8, lead, cp);
    if (length != 0 && lead + length > end) end = lead;  // a real character straddles the cut
  }
  return utf8.substr(0, end);
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string Cp437ToUtf8(std::string_view cp437) {
  std::string out;
  out.reserve(cp437.size());
  for (char c : cp437) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      AppendUtf8(out, kCp437High[byte - 0x80]);
    }
  }
  return out;
}

}  // namespace platform
