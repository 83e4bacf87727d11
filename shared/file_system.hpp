#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// The few file-system operations that differ between Windows and Linux. Paths are
// std::filesystem::path, wide on Windows, so folders with non-ASCII names work everywhere.
namespace shared {

// The folder that holds the running executable.
std::filesystem::path ProgramFolder();

// Opens a file for binary reading; nullptr with errno set on failure.
std::FILE* OpenForReading(const std::filesystem::path& path);

// Creates or truncates `path`, writes `bytes` and forces them to the disk before closing.
// Returns an empty string on success, otherwise the system's reason.
std::string WriteFileDurably(const std::filesystem::path& path, std::string_view bytes);

// Renames `from` over `to` in one step: a reader sees either the old `to` or the new one.
// Returns an empty string on success, otherwise the system's reason.
std::string RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// A path as UTF-8 text, for messages to the user.
std::string PathText(const std::filesystem::path& path);

}  // namespace shared
