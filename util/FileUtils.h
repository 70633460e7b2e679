// Path arithmetic on Windows paths, directory helpers, temporary names and
// the file copier with its verifier. Paths are 1251 Windows paths handled
// through the platform layer; LastErrorText() is the platform's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Platform.h"
#include "util/Exception.h"

namespace hv {

// Path trimmed, with '\' appended unless empty or already ending in one.
std::string AddBackslash(const std::string& path);
// Path trimmed, without one trailing '\'.
std::string RemoveBackslash(const std::string& path);
// File-name part of Path up to its first '.'.
std::string BaseName(const std::string& path);
// Path placed under Root: a relative Path is appended, a Path with a drive
// keeps only its file name, a Path from the root ("\X") goes onto Root's drive.
std::string ResolvePath(const std::string& root, const std::string& path);
// Path after Root when Path lies under Root (ignoring case); otherwise Path.
std::string RelativePath(const std::string& root, const std::string& path);
bool IsNetworkPath(const std::string& path);

// Creates Dir and its missing parents; true when Dir exists afterwards.
bool ForceDir(const std::string& dir);
// True when Dir does not exist or holds no entry except names beginning with '.'.
bool IsDirEmpty(const std::string& dir);
// Size of the first entry matching Name, or the negated error code.
int64_t FileSizeOf(const std::string& name);
// Deletes every file matching Name (wildcards allowed); true when all
// deletions succeeded, also when nothing matched.
bool DeleteMatching(const std::string& name);
// Empties Dir: files, then subdirectories recursively. Dir itself stays.
bool DeleteTree(const std::string& dir);
// A free name B<n>E in Dir after Template ("ABC.BAT" -> "ABC1.BAT"), created
// empty when Create is set. The name alone, empty when every candidate is taken.
std::string TempFileName(const std::string& dir, const std::string& templ, bool create);
// Creates a new empty file beside Target for writing it in full before it is
// renamed over Target; returns its name (empty, LastError set, on failure).
std::string CreateSiblingTemp(const std::string& target, File& file);

// Progress of a copy or a verification: first (Size, Flag = true) announces
// the total; then (bytes done, Flag = false) after each block. Setting Flag
// on return from a block call asks to stop.
using TCopyProgress = std::function<void(int64_t value, bool& flag)>;
// Called between blocks so that the windows stay alive; none by default.
void SetMessagePump(std::function<void()> pump);

// Copies Source to Dest (a file name or an existing directory). True when
// done, false when stopped by the callback. A diskette target (A:, B:) is
// deleted first and written in synchronous whole sectors; any other target
// is written under a temporary name and put in place only when complete, so
// a failed or stopped copy leaves the previous target as it was. Raises
// EDriveNotExist, EDiskFull, EFOpenError, EFREadError.
bool CopyFileEx(const std::string& source, const std::string& dest,
                const TCopyProgress& progress = nullptr);
// Compares Source with an existing Dest byte for byte; false when they differ.
bool VerifyCopy(const std::string& source, const std::string& dest,
                const TCopyProgress& progress = nullptr);

}  // namespace hv
