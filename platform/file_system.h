// Paths, directories, renames and temporary files.
#pragma once

#include <string>
#include <system_error>

namespace platform {

inline constexpr char kPathSeparator = '/';

std::error_code CreateDirectory(const std::string& path);  // one level; exists = error
std::error_code DeleteFile(const std::string& path);
std::error_code RemoveDirectory(const std::string& path);
// Renames from onto to, replacing an existing file atomically.
std::error_code RenameFile(const std::string& from, const std::string& to);

std::string CurrentDirectory();
// path made absolute against the current directory, with "." and ".." components and
// doubled separators folded away textually (symbolic links are not resolved).
std::string AbsolutePath(const std::string& path);
// Joins a directory and a name with exactly one separator between them.
std::string JoinPath(const std::string& dir, const std::string& name);
// Everything before the last separator ("" when there is none; "/" for "/x").
std::string ParentPath(const std::string& path);
// Everything after the last separator.
std::string BaseName(const std::string& path);

std::string ExecutablePath();  // full path of the running program
std::string TempDirectory();   // $TMPDIR or /tmp

// Creates a new, empty, unique file "<dir>/<prefix>XXXXXX" atomically and returns its
// path in outPath (the file is closed again).
std::error_code CreateTempFile(const std::string& dir, const std::string& prefix,
                               std::string& outPath);

}  // namespace platform
