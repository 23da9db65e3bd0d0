// The mounted file systems a user can browse: what the folder picker offers as its drives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountEntry {
  std::string device;
  std::string mountPoint;
  std::string type;
};

// Parses the text of /proc/self/mounts (the fstab format): device, mount point and type of
// each line; the octal escapes the kernel writes for blanks and tabs ("\040") are decoded.
// Malformed lines are skipped.
std::vector<MountEntry> ParseMountTable(std::string_view text);

// The browsable roots of a mount table: "/" first, then the home directory (when given),
// then the mounted disks, removable media and network shares in path order. Pseudo and
// system file systems (proc, sysfs, tmpfs, snaps, /boot ...) are left out, and so is every
// place the user cannot list. No path appears twice.
std::vector<std::string> BrowsableRoots(const std::vector<MountEntry>& mounts,
                                        const std::string& home);

// The same for this process: /proc/self/mounts and $HOME.
std::vector<std::string> BrowsableRoots();

}  // namespace platform
