#include "restore/zip_reader_unpacker.h"

namespace restore {

void ConfigureReaderForRestore(TZipReader& reader) {
  reader.OverwriteMode = Always;
  reader.DoAll = true;
  reader.FilesList.clear();
  reader.RecreateDirs = false;
  reader.RetainAttributes = true;
  // ReadZip and UnZip then share one open of each archive.
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
  // The archive kept open for UnZip is closed again however the unpack ends, so that no
  // descriptor of a store file outlives the run.
  struct Closer {
    TZipReader& reader;
    ~Closer() { reader.ResetArchive(); }
  } closer{reader_};
  reader_.SetDestDir(destDir);
  reader_.SetZipName(archivePath);
  reader_.ReadZip();
  return reader_.UnZip();
}

}  // namespace restore
