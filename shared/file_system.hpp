#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The few file-system operations that differ between Windows and Linux. Paths are the platform's
// own strings, wide on Windows, so folders with non-ASCII names work everywhere. Not
// std::filesystem::path: on Windows it drags the whole C++ locale library (some 900 KB) into
// each program.
namespace shared {

#ifdef _WIN32
using FilePath = std::wstring;
#else
using FilePath = std::string;
#endif

// The folder that holds the running executable. Throws RunFailure when the platform can't say:
// any other folder would read or write the wrong coordinates.dat.
FilePath ProgramFolder();

// Opens a file for binary reading; nullptr with errno set on failure.
std::FILE* OpenForReading(const FilePath& path);

// Creates a new file beside `target`, under a name of this process's own (temporary_name.hpp;
// the file is created exclusively, so no other writer shares it), writes `bytes` and forces them to
// the disk before closing. Sets `temporary` to the new file's path. Returns an empty string on
// success, otherwise the system's reason; no file is left then.
std::string WriteTemporaryBeside(const FilePath& target, std::string_view bytes,
                                 FilePath& temporary);

// Removes the temporary files beside `target` whose writing process has ended: a writer killed
// in mid-write leaves its file behind. Failures are not reported (this is tidying up).
void RemoveAbandonedTemporaries(const FilePath& target);

// The file `path` stands for once symbolic links are followed; `path` itself when it is none.
// A link to a file that doesn't exist yet gives the path it points at.
FilePath FollowLinks(const FilePath& path);

// True when a file stands at `path` and its owner has made it read-only.
bool IsReadOnly(const FilePath& path);

// Renames `from` over `to` in one step: a reader sees either the old `to` or the new one.
// Returns an empty string on success, otherwise the system's reason.
std::string RenameOver(const FilePath& from, const FilePath& to);

// What stands at a path.
enum class FileKind { kMissing, kRegular, kDirectory, kOther };
FileKind KindOf(const FilePath& path);

// Removes a file if it is there; a failure is not reported (the callers are cleaning up).
void RemoveFileQuietly(const FilePath& path);

// A path from UTF-8 text, converted by the platform rather than by the C++ locale library.
FilePath PathFromUtf8(std::string_view text);

// `folder`, the platform's separator, then `name`: the separator is always added.
FilePath JoinPath(const FilePath& folder, const FilePath& name);

// A path as UTF-8 text, for messages to the user.
std::string PathText(const FilePath& path);

}  // namespace shared
