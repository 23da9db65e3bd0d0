// Protects the text rules every name comparison and every stored field relies on: case
// folding that treats accented letters like the old ANSI folding did, cuts that never split
// a character, and the code page 437 of old ZIP entry names (checked against Python's codec).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/text.h"

using platform::Cp437ToUtf8;
using platform::SameText;
using platform::TruncateUtf8;
using platform::UpperCase;

TEST(Text, UpperCaseFoldsAsciiAndAccentedLetters) {
  EXPECT_EQ(UpperCase("Docs 1.txt"), "DOCS 1.TXT");
  EXPECT_EQ(UpperCase("café"), "CAFÉ");
  EXPECT_EQ(UpperCase("привет"), "ПРИВЕТ");
  EXPECT_EQ(UpperCase("ÿ"), "Ÿ");  // one byte of ANSI, but two in UTF-8 both ways
  // Simple mapping only: no expansion of ß to SS.
  EXPECT_EQ(UpperCase("straße"), "STRAßE");
  EXPECT_EQ(platform::LowerCase("ÉCOLE"), "école");
}

TEST(Text, InvalidUtf8BytesPassThroughUnchanged) {
  const std::string bad = std::string("a\xC3", 2) + "b\xFF\x80z";
  EXPECT_EQ(UpperCase(bad), std::string("A\xC3", 2) + "B\xFF\x80Z");
}

TEST(Text, SameTextIgnoresCaseButNothingElse) {
  EXPECT_TRUE(SameText("Docs", "DOCS"));
  EXPECT_TRUE(SameText("Été", "éTÉ"));
  EXPECT_FALSE(SameText("/data", "/data/"));
  EXPECT_FALSE(SameText(" docs", "docs"));
}

TEST(Text, TruncateNeverSplitsACharacter) {
  EXPECT_EQ(TruncateUtf8("abc", 5), "abc");
  EXPECT_EQ(TruncateUtf8("abc", 2), "ab");
  EXPECT_EQ(TruncateUtf8("aé", 2), "a");        // é is 2 bytes
  EXPECT_EQ(TruncateUtf8("aé", 3), "aé");
  EXPECT_EQ(TruncateUtf8("a€b", 3), "a");       // € is 3 bytes
  EXPECT_EQ(TruncateUtf8("a€b", 4), "a€");
  EXPECT_EQ(TruncateUtf8("x\xF0\x9F\x98\x80", 4), "x");  // 4-byte emoji cut in the middle
  EXPECT_EQ(TruncateUtf8("x\xF0\x9F\x98\x80", 5), "x\xF0\x9F\x98\x80");
  // Stray continuation bytes are not characters: cut by bytes.
  EXPECT_EQ(TruncateUtf8("ab\x80\x80\x80\x80", 4), "ab\x80\x80");
}

TEST(Text, Cp437MatchesPythonsCodec) {
  FILE* pipe = popen(
      "python3 -c \"import sys; sys.stdout.buffer.write(bytes(range(256)).decode('cp437')"
      ".encode('utf-8'))\"",
      "r");
  ASSERT_NE(pipe, nullptr);
  std::string expected;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) expected.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0);
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Cp437ToUtf8(all), expected);
}
