#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The few file-system operations that differ between Windows and Linux. Paths are the platform's
// own strings, wide on Windows, so folders with non-ASCII names work everywhere. Not
// FilePath: on Windows it drags the whole C++ locale library (some 900 KB) into each
// program. A FilePath converts to a FilePath and back implicitly.
namespace shared {

#ifdef _WIN32
using FilePath = std::wstring;
#else
using FilePath = std::string;
#endif

// The folder that holds the running executable.
FilePath ProgramFolder();

// Opens a file for binary reading; nullptr with errno set on failure.
std::FILE* OpenForReading(const FilePath& path);

// Creates or truncates `path`, writes `bytes` and forces them to the disk before closing.
// Returns an empty string on success, otherwise the system's reason.
std::string WriteFileDurably(const FilePath& path, std::string_view bytes);

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
