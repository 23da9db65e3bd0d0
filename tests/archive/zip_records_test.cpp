// Protects the byte layout of the three ZIP records as written and read, checked against
// hand-written bytes of the application note's layout (not against our own encoder), and the
// small rules around them: DOS date clean-up, compression rate rounding, the end record
// search window and the stored-name encoding (ASCII as is, else UTF-8 with flag bit 11;
// code page 437 when the flag is clear).
#include <gtest/gtest.h>

#include <cstring>

#include "archive/end_central.h"
#include "archive/lfn_file_stream.h"
#include "archive/zip_header_info.h"
#include "archive/zip_numbers.h"
#include "tests/support/files.h"

namespace {

using testsupport::Bytes;
using testsupport::Put16;
using testsupport::Put32;
using testsupport::PutText;
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;


// A central header as the application note lays it out, field by field.
Bytes CentralHeader(const std::string& name, std::uint16_t flags, std::uint32_t dosDateTime,
                    std::uint16_t extraLength = 0, const std::string& comment = "") {
  Bytes b;
  Put32(b, 0x02014b50);
  Put16(b, 0x031E);  // made by Unix, 3.0
  Put16(b, 20);
  Put16(b, flags);
  Put16(b, 8);
  Put32(b, dosDateTime);
  Put32(b, 0xDEADBEEF);
  Put32(b, 1234);
  Put32(b, 5678);
  Put16(b, static_cast<unsigned>(name.size()));
  Put16(b, extraLength);
  Put16(b, static_cast<unsigned>(comment.size()));
  Put16(b, 0);
  Put16(b, 1);
  Put32(b, 0x81A40000);
  Put32(b, 777);
  PutText(b, name);
  b.insert(b.end(), extraLength, 0xEE);
  PutText(b, comment);
  return b;
}

TEST(ZipRecordsTest, LocalHeaderOfReportDocInDataDocs) {
  TempDir dir;
  archive::TZipHeaderInfo entry;
  entry.SetFileName("report.doc");
  entry.SetDirectory("Data/Docs");
  EXPECT_EQ(entry.Directory, "Data/Docs/");
  EXPECT_EQ(entry.NameLength, 20);
  entry.DosDateTime = 0x5A2B6C3D;
  entry.Crc32 = 0x11223344;
  entry.CompressedSize = 10;
  entry.UncompressedSize = 20;
  {
    archive::TLFNFileStream out(dir.File("h.bin"), archive::TLFNFileMode::Create);
    out.Write("xyz", 3);
    entry.WriteLocalHeader(out);
  }
  Bytes expected{'x', 'y', 'z'};
  Put32(expected, 0x04034b50);
  Put16(expected, 20);
  Put16(expected, 0);
  Put16(expected, 8);
  Put32(expected, 0x5A2B6C3D);
  Put32(expected, 0x11223344);
  Put32(expected, 10);
  Put32(expected, 20);
  Put16(expected, 20);
  Put16(expected, 0);
  PutText(expected, "Data/Docs/report.doc");
  EXPECT_EQ(ReadAll(dir.File("h.bin")), expected);
  EXPECT_EQ(entry.LocalHeaderOffset, 3u);

  archive::TLFNFileStream in(dir.File("h.bin"), archive::TLFNFileMode::OpenRead);
  in.Seek(3, archive::TSeekOrigin::soBeginning);
  archive::TZipHeaderInfo back;
  ASSERT_TRUE(back.ReadLocalHeader(in));
  EXPECT_EQ(back.Directory, "Data/Docs/");
  EXPECT_EQ(back.FileName, "report.doc");
  EXPECT_EQ(back.LocalHeaderOffset, 3u);
  EXPECT_EQ(in.Position(), static_cast<std::int64_t>(expected.size()));
}

TEST(ZipRecordsTest, CentralHeaderReadsEveryFieldAndSkipsExtraAndComment) {
  TempDir dir;
  Bytes file = {'p', 'a', 'd'};
  const Bytes header = CentralHeader("dir/sub/name.txt", 0, 0x5A2B6C3D, 9, "a comment");
  file.insert(file.end(), header.begin(), header.end());
  PutText(file, "NEXT");
  WriteAll(dir.File("c.bin"), file);
  archive::TLFNFileStream in(dir.File("c.bin"), archive::TLFNFileMode::OpenRead);
  in.Seek(3, archive::TSeekOrigin::soBeginning);
  archive::TZipHeaderInfo e;
  ASSERT_TRUE(e.ReadCentralHeader(in));
  EXPECT_EQ(e.VersionMadeBy, 0x031E);
  EXPECT_EQ(e.VersionNeeded, 20);
  EXPECT_EQ(e.Method, 8);
  EXPECT_EQ(e.DosDateTime, 0x5A2B6C3Du);
  EXPECT_EQ(e.Crc32, 0xDEADBEEFu);
  EXPECT_EQ(e.CompressedSize, 1234u);
  EXPECT_EQ(e.UncompressedSize, 5678u);
  EXPECT_EQ(e.ExtraLength, 9);
  EXPECT_EQ(e.CommentLength, 9);
  EXPECT_EQ(e.InternalAttributes, 1);
  EXPECT_EQ(e.ExternalAttributes, 0x81A40000u);
  EXPECT_EQ(e.LocalHeaderOffset, 777u);
  EXPECT_EQ(e.CentralHeaderOffset, 3u);
  EXPECT_EQ(e.Directory, "dir/sub/");
  EXPECT_EQ(e.FileName, "name.txt");
  EXPECT_FALSE(e.FileComment.has_value());  // read on demand
  EXPECT_EQ(e.CentralHeaderSize(), 46u + 16 + 9 + 9);
  char next[4];
  ASSERT_EQ(in.Read(next, 4), 4u);
  EXPECT_EQ(std::string(next, 4), "NEXT");
}

TEST(ZipRecordsTest, BadSignatureOrShortNameLeavesTheStreamWhereItWas) {
  TempDir dir;
  Bytes file = CentralHeader("abc", 0, 0x5A2B6C3D);
  file[0] = 'Q';
  WriteAll(dir.File("bad.bin"), file);
  archive::TLFNFileStream in(dir.File("bad.bin"), archive::TLFNFileMode::OpenRead);
  archive::TZipHeaderInfo e;
  EXPECT_FALSE(e.ReadCentralHeader(in));
  EXPECT_EQ(in.Position(), 0);
  EXPECT_FALSE(e.ReadLocalHeader(in));
  EXPECT_EQ(in.Position(), 0);

  Bytes cut = CentralHeader("a-long-name", 0, 0x5A2B6C3D);
  cut.resize(cut.size() - 3);  // name cut short by the end of the file
  WriteAll(dir.File("cut.bin"), cut);
  archive::TLFNFileStream in2(dir.File("cut.bin"), archive::TLFNFileMode::OpenRead);
  EXPECT_FALSE(e.ReadCentralHeader(in2));
  EXPECT_EQ(in2.Position(), 0);
}

TEST(ZipRecordsTest, CentralHeaderCutByTheEndOfADiskContinuesOnTheNext) {
  TempDir dir;
  const Bytes header = CentralHeader("spanned.txt", 0, 0x5A2B6C3D);
  WriteAll(dir.File("disk1"), Bytes(header.begin(), header.begin() + 20));
  WriteAll(dir.File("disk2"), Bytes(header.begin() + 20, header.end()));
  archive::TLFNFileStream first(dir.File("disk1"), archive::TLFNFileMode::OpenRead);
  archive::TLFNFileStream second(dir.File("disk2"), archive::TLFNFileMode::OpenRead);
  int switches = 0;
  archive::TZipHeaderInfo e;
  ASSERT_TRUE(e.ReadCentralHeader(first, [&]() -> archive::TStream& {
    ++switches;
    return second;
  }));
  EXPECT_EQ(switches, 1);
  EXPECT_EQ(e.FileName, "spanned.txt");
  EXPECT_EQ(e.UncompressedSize, 5678u);
  // Without a callback the cut record does not read.
  first.Seek(0, archive::TSeekOrigin::soBeginning);
  EXPECT_FALSE(e.ReadCentralHeader(first));
  EXPECT_EQ(first.Position(), 0);
}

TEST(ZipRecordsTest, WritingTheLocalHeaderAgainRewritesTheSameBytes) {
  TempDir dir;
  archive::TZipHeaderInfo e;
  e.SetFileName("data.bin");
  {
    archive::TLFNFileStream out(dir.File("l.bin"), archive::TLFNFileMode::Create);
    e.WriteLocalHeader(out);
    out.Write("payload", 7);
    const std::int64_t end = out.Position();
    e.Crc32 = 0x01020304;
    e.CompressedSize = 7;
    out.Seek(e.LocalHeaderOffset, archive::TSeekOrigin::soBeginning);
    e.WriteLocalHeader(out);
    out.Seek(end, archive::TSeekOrigin::soBeginning);
  }
  const Bytes bytes = ReadAll(dir.File("l.bin"));
  ASSERT_EQ(bytes.size(), 30u + 8 + 7);
  EXPECT_EQ(bytes[14], 0x04);
  EXPECT_EQ(bytes[17], 0x01);
  EXPECT_EQ(bytes[18], 7);
  EXPECT_EQ(std::string(bytes.end() - 7, bytes.end()), "payload");
}

TEST(ZipRecordsTest, NameWithoutUtf8FlagIsCodePage437) {
  TempDir dir;
  // "caf\x82.txt": 0x82 is e-acute in code page 437.
  WriteAll(dir.File("cp.bin"), CentralHeader("caf\x82.txt", 0, 0x5A2B6C3D));
  archive::TLFNFileStream in(dir.File("cp.bin"), archive::TLFNFileMode::OpenRead);
  archive::TZipHeaderInfo e;
  ASSERT_TRUE(e.ReadCentralHeader(in));
  EXPECT_EQ(e.FileName, "caf\xC3\xA9.txt");
}

TEST(ZipRecordsTest, NameWithUtf8FlagIsTakenAsIs) {
  TempDir dir;
  WriteAll(dir.File("u.bin"), CentralHeader("\xE6\x97\xA5/\xC3\xA9.txt", 0x0800, 0x5A2B6C3D));
  archive::TLFNFileStream in(dir.File("u.bin"), archive::TLFNFileMode::OpenRead);
  archive::TZipHeaderInfo e;
  ASSERT_TRUE(e.ReadCentralHeader(in));
  EXPECT_EQ(e.Directory, "\xE6\x97\xA5/");
  EXPECT_EQ(e.FileName, "\xC3\xA9.txt");
}

TEST(ZipRecordsTest, NonAsciiNameIsWrittenAsUtf8WithFlagBit11AsciiWithout) {
  TempDir dir;
  archive::TZipHeaderInfo utf;
  utf.SetFileName("\xC3\xA9t\xC3\xA9.txt");  // "été.txt"
  archive::TZipHeaderInfo plain;
  plain.SetFileName("plain.txt");
  {
    archive::TLFNFileStream out(dir.File("n.bin"), archive::TLFNFileMode::Create);
    utf.WriteCentralHeader(out);
    plain.WriteCentralHeader(out);
  }
  const Bytes bytes = ReadAll(dir.File("n.bin"));
  ASSERT_GE(bytes.size(), 46u + 9);
  EXPECT_EQ(bytes[8] | (bytes[9] << 8), 0x0800);
  EXPECT_EQ(std::string(bytes.begin() + 46, bytes.begin() + 55), "\xC3\xA9t\xC3\xA9.txt");
  const std::size_t second = 46 + 9;
  EXPECT_EQ(bytes[second + 8] | (bytes[second + 9] << 8), 0);
  EXPECT_EQ(bytes[second + 30] | (bytes[second + 31] << 8), 0);  // no extra field
}

TEST(ZipRecordsTest, CentralRecordWithCommentWritesItsLength) {
  TempDir dir;
  archive::TZipHeaderInfo e;
  e.SetFileName("f");
  e.SetFileComment(std::string("hello"));
  {
    archive::TLFNFileStream out(dir.File("c.bin"), archive::TLFNFileMode::Create);
    e.WriteCentralHeader(out);
  }
  const Bytes bytes = ReadAll(dir.File("c.bin"));
  ASSERT_EQ(bytes.size(), 46u + 1 + 5);
  EXPECT_EQ(bytes[32], 5);
  EXPECT_EQ(std::string(bytes.end() - 5, bytes.end()), "hello");
}

TEST(ZipRecordsTest, SetDirectoryAppendsSlashAndEmptyStoresNothing) {
  archive::TZipHeaderInfo e;
  e.SetFileName("report.doc");
  e.SetDirectory("Data");
  EXPECT_EQ(e.Directory, "Data/");
  EXPECT_EQ(e.NameLength, 15);
  e.SetDirectory("");
  EXPECT_EQ(e.Directory, "");
  EXPECT_EQ(e.NameLength, 10);
}

TEST(ZipRecordsTest, ClearDefaultsAndAssignCopiesTheComment) {
  archive::TZipHeaderInfo e;
  EXPECT_EQ(e.VersionMadeBy, 20);
  EXPECT_EQ(e.Method, 8);
  EXPECT_EQ(e.Crc32, 0xFFFFFFFFu);
  EXPECT_EQ(e.InternalAttributes, 1);
  EXPECT_EQ(e.ExternalAttributes, 0x20u);
  archive::TZipHeaderInfo source;
  source.SetFileName("x");
  source.SetDirectory("d");
  source.SetFileComment(std::string("note"));
  source.LocalHeaderOffset = 99;
  e.SetFileComment(std::string("stale"));
  e.Assign(source);
  EXPECT_EQ(e.StoredName(), "d/x");
  EXPECT_EQ(e.NameLength, 3);
  EXPECT_EQ(e.FileComment.value_or(""), "note");
  EXPECT_EQ(e.LocalHeaderOffset, 99u);
  archive::TZipHeaderInfo noComment;
  e.Assign(noComment);
  EXPECT_FALSE(e.FileComment.has_value());
}

TEST(ZipRecordsTest, NormalizeDosDateTime) {
  // date: year-1980 <<9 | month <<5 | day; time: hour <<11 | minute <<5 | seconds/2.
  auto pack = [](unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s2) {
    return static_cast<std::uint32_t>(((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) |
                                      (mi << 5) | s2);
  };
  const std::uint32_t valid = pack(2024, 2, 29, 13, 45, 7);
  EXPECT_EQ(archive::NormalizeDosDateTime(valid), valid);
  EXPECT_EQ(archive::NormalizeDosDateTime(pack(2001, 0, 0, 10, 0, 0)), pack(2001, 1, 1, 10, 0, 0));
  EXPECT_EQ(archive::NormalizeDosDateTime(pack(2001, 5, 5, 25, 0, 0)), pack(2001, 5, 5, 24, 0, 0));
  EXPECT_EQ(archive::NormalizeDosDateTime(pack(2001, 5, 5, 24, 0, 0)), pack(2001, 5, 5, 24, 0, 0));
  EXPECT_EQ(archive::NormalizeDosDateTime(pack(2001, 13, 5, 1, 60, 30)),
            pack(2001, 12, 5, 1, 59, 29));
  EXPECT_EQ(archive::NormalizeDosDateTime(pack(2100, 1, 1, 0, 0, 0)), pack(2099, 1, 1, 0, 0, 0));
}

TEST(ZipRecordsTest, CompressionRateRoundsHalfToEvenAndCaps) {
  EXPECT_EQ(archive::CompressionRate(0, 5), 0);
  EXPECT_EQ(archive::CompressionRate(200, 300), 100);
  EXPECT_EQ(archive::CompressionRate(3, 1), 33);
  EXPECT_EQ(archive::CompressionRate(3, 2), 67);
  EXPECT_EQ(archive::CompressionRate(200, 1), 0);  // 0.5 -> 0
  EXPECT_EQ(archive::CompressionRate(200, 3), 2);  // 1.5 -> 2
  EXPECT_EQ(archive::CompressionRate(200, 5), 2);  // 2.5 -> 2
  EXPECT_EQ(archive::CompressionRate(200, 7), 4);  // 3.5 -> 4
}

// The 22-byte end record with a comment, as the application note lays it out.
Bytes EndRecord(std::uint16_t entries, std::uint32_t dirSize, std::uint32_t dirOffset,
                const std::string& comment) {
  Bytes b;
  Put32(b, 0x06054b50);
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, entries);
  Put16(b, entries);
  Put32(b, dirSize);
  Put32(b, dirOffset);
  Put16(b, static_cast<unsigned>(comment.size()));
  PutText(b, comment);
  return b;
}

TEST(ZipRecordsTest, FileOf21BytesHasNoEndRecord) {
  TempDir dir;
  Bytes b = EndRecord(0, 0, 0, "");
  b.pop_back();
  WriteAll(dir.File("21.bin"), b);
  archive::TLFNFileStream in(dir.File("21.bin"), archive::TLFNFileMode::OpenRead);
  archive::TEndCentral end;
  EXPECT_FALSE(end.FindEndCentral(in));
}

TEST(ZipRecordsTest, LastSignatureInTheWindowWins) {
  TempDir dir;
  // The comment itself holds a complete end record; the one nearest the end wins.
  const Bytes inner = EndRecord(7, 70, 700, "");
  const std::string innerText(inner.begin(), inner.end());
  Bytes file(100, 'x');
  const Bytes outer = EndRecord(1, 46, 5, "cmt" + innerText);
  file.insert(file.end(), outer.begin(), outer.end());
  WriteAll(dir.File("two.bin"), file);
  archive::TLFNFileStream in(dir.File("two.bin"), archive::TLFNFileMode::OpenRead);
  archive::TEndCentral end;
  ASSERT_TRUE(end.FindEndCentral(in));
  EXPECT_EQ(end.TotalEntries, 7);
  EXPECT_EQ(end.CentralDirOffset, 700u);
  EXPECT_EQ(end.CommentLength, 0);
  EXPECT_EQ(end.CommentPosition, file.size());
}

TEST(ZipRecordsTest, EndRecordFieldsAndCommentPosition) {
  TempDir dir;
  Bytes file(50, 'z');
  const Bytes end = EndRecord(3, 150, 40, "archive note");
  file.insert(file.end(), end.begin(), end.end());
  WriteAll(dir.File("e.bin"), file);
  archive::TLFNFileStream in(dir.File("e.bin"), archive::TLFNFileMode::OpenRead);
  archive::TEndCentral record;
  ASSERT_TRUE(record.FindEndCentral(in));
  EXPECT_EQ(record.TotalEntries, 3);
  EXPECT_EQ(record.EntriesThisDisk, 3);
  EXPECT_EQ(record.CentralDirSize, 150u);
  EXPECT_EQ(record.CentralDirOffset, 40u);
  EXPECT_EQ(record.CommentLength, 12);
  EXPECT_EQ(record.CommentPosition, file.size() - 12);
  EXPECT_FALSE(record.ZipComment.has_value());
}

TEST(ZipRecordsTest, EndRecordBeyondTheWindowIsNotFound) {
  TempDir dir;
  // The record starts 65529 bytes before the end: outside the 65528-byte window.
  Bytes file = EndRecord(0, 0, 0, "");
  file.resize(file.size() + 65529 - 22, 'c');
  WriteAll(dir.File("far.bin"), file);
  archive::TLFNFileStream in(dir.File("far.bin"), archive::TLFNFileMode::OpenRead);
  archive::TEndCentral end;
  EXPECT_FALSE(end.FindEndCentral(in));
  // One byte closer, it is found.
  file.pop_back();
  WriteAll(dir.File("near.bin"), file);
  archive::TLFNFileStream in2(dir.File("near.bin"), archive::TLFNFileMode::OpenRead);
  EXPECT_TRUE(end.FindEndCentral(in2));
}

TEST(ZipRecordsTest, WriteEndCentralLayout) {
  TempDir dir;
  archive::TEndCentral end;
  end.TotalEntries = 2;
  end.EntriesThisDisk = 2;
  end.CentralDirSize = 92;
  end.CentralDirOffset = 1000;
  end.ZipComment = "hi";
  end.CommentLength = 2;
  {
    archive::TLFNFileStream out(dir.File("w.bin"), archive::TLFNFileMode::Create);
    end.WriteEndCentral(out);
  }
  EXPECT_EQ(ReadAll(dir.File("w.bin")), EndRecord(2, 92, 1000, "hi"));
}

}  // namespace
