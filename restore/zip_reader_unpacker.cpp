#include "restore/zip_reader_unpacker.h"

#include <utility>
#include <vector>

#include "archive/zip_interaction.h"

namespace restore {

void ConfigureReaderForRestore(archive::TZipReader& reader) {
  reader.OverwriteMode = archive::TUZOverwriteMode::Always;
  reader.DoAll = true;
  reader.FilesList.clear();
  reader.RecreateDirs = false;
  reader.RetainAttributes = true;
  // A caller's ReadZip and UnZip then share one open of each archive.
  reader.KeepZipOpen = true;
  reader.OnStartUnZipInfo = nullptr;
  reader.OnFilePercentDone = nullptr;
  reader.OnTotalPercentDone = nullptr;
  reader.OnStartUnZip = nullptr;
  reader.OnEndUnZip = nullptr;
  reader.OnPromptForOverwrite = nullptr;
  reader.OnSkippingFile = nullptr;
  reader.OnBadPassword = nullptr;
  reader.OnBadCRC = nullptr;
  reader.OnInCompleteZip = nullptr;
}

int ZipReaderUnpacker::Unpack(const std::string& archivePath, const std::string& destDir) {
  ArchiveJob job;
  job.archivePath = archivePath;
  job.destDir = destDir;
  return Restore(job).count;
}

ArchiveResult ZipReaderUnpacker::Restore(const ArchiveJob& job) {
  // The archive kept open for UnZip is closed again however the unpack ends, so that no
  // descriptor of a store file outlives the run; nothing of the job stays with the reader.
  struct Closer {
    archive::TZipReader& reader;
    ~Closer() {
      reader.ResetArchive();
      reader.ZipDirectory = nullptr;
      reader.DestDirectory = nullptr;
      reader.ExtractedFileTimes.reset();
      reader.AbsentFileName.clear();
    }
  } closer{reader_};
  reader_.SetDestDir(job.destDir);
  reader_.SetZipName(job.archivePath);
  reader_.ZipDirectory = job.archiveDirectory.get();
  reader_.DestDirectory = job.destination.get();
  if (job.targetAbsent) reader_.AbsentFileName = job.targetName;
  if (!job.targetName.empty()) {
    // Without the job's times the reader takes the archive's from the status of its open.
    reader_.ExtractedFileTimes = archive::TZipReader::TFileTimes{
        job.targetName, job.times.lastAccess, job.times.lastWrite, job.times.lastWrite == 0};
  }
  // No ReadZip first: UnZip opens the archive and loads its directory itself, and the
  // directory loaded by ReadZip would only cost UnZip a look at the archive's status to see
  // that it is still current.
  ArchiveResult result;
  result.count = reader_.UnZip();
  bool named = false;
  for (int i = 0; i < reader_.Count() && !named; ++i) {
    named = reader_.Entry(i).FileName == job.targetName;
  }
  result.timesGiven = reader_.TimesGiven();
  result.otherName = !job.targetName.empty() && !named;
  if (job.times.lastWrite == 0 && reader_.ExtractedFileTimes) {
    result.times.lastAccess = reader_.ExtractedFileTimes->lastAccess;
    result.times.lastWrite = reader_.ExtractedFileTimes->lastWrite;
  }
  return result;
}

namespace {

// Keeps the boxes of a worker's reader; questions take their default answer.
class KeepingInteraction : public archive::TZipInteraction {
 public:
  struct Box {
    std::string text;
    std::string caption;
  };
  std::vector<Box> boxes;

  bool ChooseFile(const std::string&, const std::string&, const std::string&,
                  std::string&) override {
    return false;
  }
  bool ChooseDirectory(const std::string&, std::string&) override { return false; }
  bool ConfirmOkCancel(const std::string&, const std::string&) override { return false; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    boxes.push_back({text, caption});
  }
};

class OwnReaderUnpacker : public ArchiveUnpacker {
 public:
  explicit OwnReaderUnpacker(archive::TZipInteraction* shown) : shown_(shown) {
    ConfigureReaderForRestore(reader_);
    reader_.Interaction = &keeping_;
  }
  int Unpack(const std::string& archivePath, const std::string& destDir) override {
    keeping_.boxes.clear();
    return unpacker_.Unpack(archivePath, destDir);
  }
  ArchiveResult Restore(const ArchiveJob& job) override {
    keeping_.boxes.clear();
    return unpacker_.Restore(job);
  }
  std::function<void()> TakeKept() override {
    if (keeping_.boxes.empty() || shown_ == nullptr) return nullptr;
    return [shown = shown_, boxes = std::move(keeping_.boxes)] {
      for (const auto& box : boxes) shown->ShowMessage(box.text, box.caption);
    };
  }

 private:
  archive::TZipInteraction* shown_;
  KeepingInteraction keeping_;
  archive::TZipReader reader_;
  ZipReaderUnpacker unpacker_{reader_};
};

}  // namespace

std::unique_ptr<ArchiveUnpacker> MakeOwnReaderUnpacker(archive::TZipInteraction* shown) {
  return std::make_unique<OwnReaderUnpacker>(shown);
}

}  // namespace restore
