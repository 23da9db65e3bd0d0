// Protects the in-memory directory's lists: the eight sort orders, the binary Find, the
// three duplicate policies, the refusals (chosen places, duplicates) and that an
// owning list frees its entries while a view does not.
#include "archive/sorted_zip.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// DOS date/time of a day in 2020 at noon.
std::uint32_t Day(unsigned day) {
  return ((2020u - 1980u) << 25) | (6u << 21) | (day << 16) | (12u << 11);
}

archive::TZipHeaderInfo* Entry(const std::string& dir, const std::string& name,
                               std::uint32_t offset = 0, std::uint32_t date = Day(1),
                               std::uint32_t packed = 0, std::uint32_t size = 0) {
  auto* e = new archive::TZipHeaderInfo;
  e->SetFileName(name);
  e->SetDirectory(dir);
  e->LocalHeaderOffset = offset;
  e->DosDateTime = date;
  e->CompressedSize = packed;
  e->UncompressedSize = size;
  return e;
}

std::vector<std::string> Names(const archive::TSortedZip& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list[i]->StoredName());
  return names;
}

TEST(SortedZipTest, ByNoneIsPhysicalOrder) {
  archive::TSortedZip list;
  list.Duplicates = archive::TDuplicates::dupError;
  list.Add(Entry("", "c", 300));
  list.Add(Entry("", "a", 100));
  list.Add(Entry("", "b", 200));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "b", "c"}));
  archive::TZipHeaderInfo key;
  key.LocalHeaderOffset = 200;
  int index = -1;
  EXPECT_TRUE(list.Find(key, index));
  EXPECT_EQ(index, 1);
  key.LocalHeaderOffset = 250;
  EXPECT_FALSE(list.Find(key, index));
  EXPECT_EQ(index, 2);
}

TEST(SortedZipTest, ByNameIgnoresAsciiCaseAndTreatsCaseVariantsAsDuplicates) {
  archive::TSortedZip list(true, archive::TZipSortMode::ByName);
  list.Duplicates = archive::TDuplicates::dupError;
  list.Add(Entry("Dir/", "b.txt"));
  list.Add(Entry("", "Z.txt"));
  list.Add(Entry("dir/", "A.txt"));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"dir/A.txt", "Dir/b.txt", "Z.txt"}));
  std::unique_ptr<archive::TZipHeaderInfo> twin(Entry("DIR/", "a.TXT"));
  EXPECT_THROW(
      {
        try {
          list.Add(twin.get());
        } catch (const archive::EListError& e) {
          EXPECT_STREQ(e.what(), "Duplicate Object index");
          throw;
        }
      },
      archive::EListError);
}

TEST(SortedZipTest, DuplicatePolicies) {
  archive::TSortedZip ignore(true, archive::TZipSortMode::ByName);
  ignore.Duplicates = archive::TDuplicates::dupIgnore;
  ignore.Add(Entry("", "x"));
  std::unique_ptr<archive::TZipHeaderInfo> again(Entry("", "X"));
  EXPECT_EQ(ignore.Add(again.get()), -1);
  EXPECT_EQ(ignore.Count(), 1);

  archive::TSortedZip accept(true, archive::TZipSortMode::ByName);
  accept.Duplicates = archive::TDuplicates::dupAccept;
  accept.Add(Entry("", "x", 1));
  accept.Add(Entry("", "X", 2));
  EXPECT_EQ(accept.Count(), 2);
}

TEST(SortedZipTest, ByFileNameAndByDirectoryName) {
  archive::TSortedZip byFile(false, archive::TZipSortMode::ByFileName);
  byFile.Duplicates = archive::TDuplicates::dupAccept;
  std::vector<std::unique_ptr<archive::TZipHeaderInfo>> owned;
  owned.emplace_back(Entry("b/", "1"));
  owned.emplace_back(Entry("a/", "2"));
  for (auto& e : owned) byFile.Add(e.get());
  EXPECT_EQ(Names(byFile), (std::vector<std::string>{"b/1", "a/2"}));
  archive::TSortedZip byDir(false, archive::TZipSortMode::ByDirectoryName);
  byDir.Duplicates = archive::TDuplicates::dupAccept;
  for (auto& e : owned) byDir.Add(e.get());
  EXPECT_EQ(Names(byDir), (std::vector<std::string>{"a/2", "b/1"}));
}

TEST(SortedZipTest, ByDateNewestFirstAndEqualDatesKeepInsertionOrder) {
  archive::TSortedZip list(true, archive::TZipSortMode::ByDate);
  list.Duplicates = archive::TDuplicates::dupAccept;
  list.Add(Entry("", "old", 1, Day(1)));
  list.Add(Entry("", "new", 2, Day(9)));
  list.Add(Entry("", "mid1", 3, Day(5)));
  list.Add(Entry("", "mid2", 4, Day(5)));
  list.Add(Entry("", "mid3", 5, Day(5)));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"new", "mid1", "mid2", "mid3", "old"}));
}

TEST(SortedZipTest, BySizesLargestFirstAndByRateHighestFirst) {
  std::vector<std::unique_ptr<archive::TZipHeaderInfo>> owned;
  owned.emplace_back(Entry("", "small", 1, Day(1), 10, 100));    // rate 10
  owned.emplace_back(Entry("", "large", 2, Day(1), 500, 1000));  // rate 50
  owned.emplace_back(Entry("", "stored", 3, Day(1), 300, 300));  // rate 100
  archive::TSortedZip packed(false, archive::TZipSortMode::ByCompressedSize);
  archive::TSortedZip unpacked(false, archive::TZipSortMode::ByUnCompressedSize);
  archive::TSortedZip rate(false, archive::TZipSortMode::ByRate);
  for (archive::TSortedZip* list : {&packed, &unpacked, &rate}) {
    list->Duplicates = archive::TDuplicates::dupAccept;
    for (auto& e : owned) list->Add(e.get());
  }
  EXPECT_EQ(Names(packed), (std::vector<std::string>{"large", "stored", "small"}));
  EXPECT_EQ(Names(unpacked), (std::vector<std::string>{"large", "stored", "small"}));
  EXPECT_EQ(Names(rate), (std::vector<std::string>{"stored", "large", "small"}));
}

TEST(SortedZipTest, PuttingAtAChosenIndexIsRefused) {
  archive::TSortedZip list;
  list.Add(Entry("", "a", 1));
  std::unique_ptr<archive::TZipHeaderInfo> other(Entry("", "b", 2));
  try {
    list.Put(0, other.get());
    FAIL() << "no error";
  } catch (const archive::EListError& e) {
    EXPECT_STREQ(e.what(), "Cannot <Put> an Object in a sorted list!");
  }
}

TEST(SortedZipTest, CapacityGrowsBy4Then8Then16) {
  archive::TSortedZip list;
  std::vector<int> capacities;
  for (std::uint32_t i = 0; i < 30; ++i) {
    list.Add(Entry("", "e", i));
    if (capacities.empty() || capacities.back() != list.Capacity())
      capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 32}));
}

// The list once stopped at 65534 items ("List capacity out of bounds (65535)"), which
// refused every Zip64 archive of 65,535 entries or more.
TEST(SortedZipTest, HoldsMoreThan65534Items) {
  std::vector<archive::TZipHeaderInfo> entries(70000);
  archive::TSortedZip list(false);
  list.Duplicates = archive::TDuplicates::dupError;
  // Added in reverse physical order, so that every insertion goes through the search.
  for (std::size_t i = entries.size(); i-- > 0;) {
    entries[i].LocalHeaderOffset = static_cast<std::uint64_t>(i) << 20;  // past 4 GiB too
    list.Add(&entries[i]);
  }
  ASSERT_EQ(list.Count(), 70000);
  EXPECT_EQ(list.Item(65535), &entries[65535]);
  EXPECT_EQ(list.Item(69999), &entries[69999]);
  EXPECT_THROW(list.Add(&entries[4096]), archive::EListError);  // still a duplicate
}

TEST(SortedZipTest, IndexOutsideTheListRaisesListError) {
  archive::TSortedZip list;
  list.Add(Entry("", "a"));
  EXPECT_THROW(list.Item(1), archive::EListError);
  EXPECT_THROW(list.Item(-1), archive::EListError);
  EXPECT_THROW(list.Delete(5), archive::EListError);
}

}  // namespace
