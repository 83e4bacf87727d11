#pragma once

#include <cstdio>
#include <cstring>
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

// The system's wording for a C library error number (errno); some calls fail without one.
inline std::string Reason(int error_number) {
  return error_number != 0 ? std::strerror(error_number) : "the system gave no reason";
}

// Opens a file for binary reading. On failure returns nullptr, with `reason` the system's words
// and `missing` set when nothing stands at the path. On Windows a file another program holds
// without sharing, as a virus scanner does for a moment after a grab, is waited for up to 2 s.
std::FILE* OpenForReading(const FilePath& path, bool& missing, std::string& reason);

// Creates a new file beside `target`, under a name of this process's own (temporary_name.hpp;
// the file is created exclusively, so no other writer shares it), writes `bytes` and forces them to
// the disk before closing. On Linux the new file is no more open than `target`
// (KeepsWhatTheOwnerSet gives it the rest); with no `target` yet, it has the usual mode (0666 less
// the umask). Sets `temporary` to the new file's path. Returns an empty string on success,
// otherwise the system's reason; no file is left then.
std::string WriteTemporaryBeside(const FilePath& target, std::string_view bytes,
                                 FilePath& temporary);

// Gives `temporary` what the owner of `target` (an ordinary file, links followed, or none) set on
// it and a rename over it would lose, and says whether all of it is kept. On Linux: the owner and
// group, the mode, the extended attributes (ACLs among them) exactly; and false for a file with
// another name (a hard link), which would keep the old bytes. Where this process may not copy one
// (only root gives a file away; security.* attributes), false: the file is then to be written in
// place. On Windows always true: RenameOver carries over what it can.
bool KeepsWhatTheOwnerSet(const FilePath& target, const FilePath& temporary);

// Writes `bytes` over the ordinary file `target` itself, keeping its inode and so its owner,
// links and attributes: the new bytes first, then the length, then a sync. A failure can leave
// a mix of old and new bytes; the caller writes the same bytes to a temporary file first, so a
// full disk is found before the file is touched. Refuses anything but an ordinary file. Returns an
// empty string on success, otherwise the reason. On Windows never needed; it refuses.
std::string WriteInPlace(const FilePath& target, std::string_view bytes);

// Removes the temporary files beside `target` that a writer killed in mid-write left behind: those
// last written more than kLeftoverAge ago whose writing process has certainly ended here, and
// those of the fixed name "<target>.tmp" that writers once used, by age alone. Failures are not
// reported (this is tidying up).
void RemoveAbandonedTemporaries(const FilePath& target);

// Sets `target` to the file `path` stands for once symbolic links are followed; `path` itself when
// it is none. On Linux a link to a file that doesn't exist yet gives the path it points at.
// Returns an empty string on success, otherwise the system's reason: a loop or too long a chain
// of links, or (on Windows) a link the system can't open or name.
std::string FollowLinks(const FilePath& path, FilePath& target);

// True when a file stands at `path` and its owner has made it read-only.
bool IsReadOnly(const FilePath& path);

// Renames `from` over `to` in one step: a reader sees either the old `to` or the new one. On
// Windows the new file keeps what the user set on the old one (Hidden and System from its
// creation beside it; the DACL, named streams, encryption and compression through ReplaceFileW),
// or the old file stays as it was.
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
