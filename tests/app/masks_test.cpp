// Protects the conversion between a folder's stored mask text and the folder dialog's list:
// a mistake here silently changes which files every later backup run selects.
#include "app/masks.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct MaskCase {
  QStringList list;
  const char* text;
};

void PrintTo(const MaskCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class MaskRoundTrip : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskRoundTrip, JoinAndSplitAreInverse) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(app::JoinMasks(c.list), QString::fromUtf8(c.text));
  EXPECT_EQ(app::SplitMasks(QString::fromUtf8(c.text)), c.list);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskRoundTrip,
    ::testing::Values(MaskCase{{}, ""}, MaskCase{{QStringLiteral("*.doc")}, "*.doc; "},
                      MaskCase{{QStringLiteral("*.doc"), QStringLiteral("*.txt")},
                               "*.doc; *.txt; "},
                      MaskCase{{QStringLiteral(" a b "), QStringLiteral("*;x")}, " a b ; *;x; "},
                      MaskCase{{QStringLiteral("résumé.*")}, "résumé.*; "}));

TEST(SplitMasks, RestWithoutSeparatorIsOneMoreMask) {
  EXPECT_EQ(app::SplitMasks(QStringLiteral("*.doc; *.tx")),
            (QStringList{QStringLiteral("*.doc"), QStringLiteral("*.tx")}));
  EXPECT_EQ(app::SplitMasks(QStringLiteral("*.doc")), QStringList{QStringLiteral("*.doc")});
  EXPECT_EQ(app::SplitMasks(QStringLiteral("*.doc;")), (QStringList{QStringLiteral("*.doc;")}));
}

TEST(SplitMasks, EmptyEntriesBetweenSeparatorsAreKept) {
  EXPECT_EQ(app::SplitMasks(QStringLiteral("a; ; b; ")),
            (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
}

}  // namespace
