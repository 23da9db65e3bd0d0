// Protects the archive layer's name patterns (selection of entries to extract, exclusion
// lists of the writer): sets, negated sets, ranges, star runs limited by a set, and the
// whole-string, ASCII-case-insensitive matching.
#include "archive/zip_pattern.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* pattern;
  const char* name;
  bool matches;
};

class MatchPatternTest : public ::testing::TestWithParam<Case> {};

TEST_P(MatchPatternTest, Matches) {
  const Case& c = GetParam();
  EXPECT_EQ(archive::MatchPattern(c.pattern, c.name), c.matches)
      << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, MatchPatternTest,
    ::testing::Values(
        Case{"*", "", true}, Case{"*", "anything/at all", true},
        Case{"*.doc", "data/docs/report.doc", true},  // star runs over separators
        Case{"*.doc", "report.docx", false}, Case{"REPORT.DOC", "report.doc", true},
        Case{"report.doc", "REPORT.DOC", true}, Case{"r?port.doc", "report.doc", true},
        Case{"r?port.doc", "rport.doc", false}, Case{"abc", "abcd", false},
        Case{"abcd", "abc", false}, Case{"", "", true}, Case{"", "a", false},
        Case{"file<123>.txt", "file2.txt", true}, Case{"file<123>.txt", "file4.txt", false},
        Case{"file<0-9>.txt", "file7.txt", true}, Case{"file<0-9>.txt", "filex.txt", false},
        Case{"file<!0-9>.txt", "filex.txt", true}, Case{"file<^0-9>.txt", "file5.txt", false},
        Case{"<a-c>*", "Banana", true},                         // ASCII case folded on both sides
        Case{"x<>y", "xy", false}, Case{"x<>y", "x-y", false},  // an empty set never matches
        Case{"x<ab", "xa", false},                              // unclosed set never matches
        Case{"*<a-z>", "letters", true}, Case{"*<a-z>", "digits9", false},
        Case{"*<a-z>.txt", "readme.txt", true}, Case{"*<a-z>.txt", "read_me.txt", false},
        Case{"*<0-9>", "", true}, Case{"a*<0-9>b", "a123b", true}, Case{"a*<0-9>b", "a1x3b", false},
        Case{"**", "", true}, Case{"a**", "a", true}, Case{"*?", "", false}, Case{"*?", "x", true},
        Case{"a*b*c", "axxbyyc", true}, Case{"a*b*c", "axxbyy", false}, Case{"<-a>", "-", true},
        Case{"<a->", "-", true}));

TEST(HasWildcardsTest, EachWildcardCharacter) {
  EXPECT_FALSE(archive::HasWildcards("plain/name.txt"));
  for (const char* text : {"a*", "a?", "a<", "a>", "|a"})
    EXPECT_TRUE(archive::HasWildcards(text)) << text;
}

}  // namespace
