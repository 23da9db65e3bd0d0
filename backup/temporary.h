// The temporary archive of a store, and the leftovers of stores that were cut off.
//
// A store writes its new archive under a temporary name in the archive's own directory (so
// that the rename onto the archive is atomic) and renames it only when the file was stored
// whole. The name is short and fixed in length, kTemporaryPrefix + six random characters
// (15 bytes), not the archive's name with a suffix: so the longest archive name the file
// system accepts (255 bytes) can still be written, and two stores never share one.
//
// A run that is killed midway leaves its temporary file behind, and no later store of the
// same file would meet it under a random name; and the source file may be gone by then. So
// the walk removes every leftover it finds in a directory of the store it enters.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace backup {

inline constexpr std::string_view kTemporaryPrefix = ".vrn-tmp.";
// Earlier versions wrote "<archive>.vrn-tmp"; their leftovers are removed as well.
inline constexpr std::string_view kTemporarySuffix = ".vrn-tmp";

// True for a name that only a store makes: kTemporaryPrefix and six more characters, or
// an archive name (".ZIP") followed by kTemporarySuffix. Never true for an archive.
bool IsTemporaryName(std::string_view name);

// The permission bits a temporary archive is created with (less the umask): those of any
// new file, which the archive keeps after the rename.
inline constexpr unsigned kArchivePermissions = 0666;

// Deletes every file of dir whose name IsTemporaryName. Returns how many went.
int RemoveStaleTemporaries(const std::string& dir);

}  // namespace backup
