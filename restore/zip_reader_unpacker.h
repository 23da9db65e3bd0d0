// The archive reader TZipReader as the restore run's unpacker.
#pragma once

#include <memory>
#include <string>

#include "archive/zip_reader.h"
#include "restore/restore_run.h"

namespace restore {

// Gives reader the settings the restore run relies on: every entry is extracted (DoAll,
// no FilesList) into DestDir under its bare name (no RecreateDirs), an existing file is
// replaced without a question (OverwriteMode Always), stored attributes are applied, and no
// event handler is set. KeepZipOpen lets UnZip read the archive ReadZip opened. The main
// window does this once for its ZipReader1.
void ConfigureReaderForRestore(archive::TZipReader& reader);

// Unpacks through a reader configured by ConfigureReaderForRestore: sets DestDir and
// ZipName, then UnZip (which opens the archive and loads its directory as ReadZip would),
// and closes the archive (ResetArchive) however that ended. The reader's errors pass
// through. Restore also lends the reader the walk's held directories and has it give the
// archive's file the archive's times.
class ZipReaderUnpacker : public ArchiveUnpacker {
 public:
  explicit ZipReaderUnpacker(archive::TZipReader& reader) : reader_(reader) {}
  int Unpack(const std::string& archivePath, const std::string& destDir) override;
  ArchiveResult Restore(const ArchiveJob& job) override;

 private:
  archive::TZipReader& reader_;
};

// An unpacker with a reader of its own, configured by ConfigureReaderForRestore, for a
// worker of a run that unpacks several archives at once. The reader's message boxes are
// kept and shown through shown (the window's interaction, on the run thread) when the run
// takes the archive's result; a question the reader would ask (a disk of a spanned archive,
// which no backup writes) takes its default answer. shown may be null: nothing is shown.
std::unique_ptr<ArchiveUnpacker> MakeOwnReaderUnpacker(archive::TZipInteraction* shown);

}  // namespace restore
