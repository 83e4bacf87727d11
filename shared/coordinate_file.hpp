#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "file_system.hpp"

// coordinates.dat: the only thing the two programs share. Two text lines, X then Y, each ending in
// CR LF, for example "0123\r\n0456\r\n".
namespace shared {

inline constexpr std::string_view kCoordinateFileName = "coordinates.dat";

// A line longer than this can't be a coordinate; reading stops there instead of holding it all.
inline constexpr std::size_t kMaxCoordinateLine = 256;

struct CoordinateTexts {
  std::string x;
  std::string y;
  friend bool operator==(const CoordinateTexts&, const CoordinateTexts&) = default;
};

FilePath CoordinateFilePath(const FilePath& program_folder);

// The exact bytes the capture program writes.
std::string CoordinateFileBytes(std::string_view x_text, std::string_view y_text);

// Reads the first two lines, untrimmed and unconverted. A line ends at CR LF or at a lone LF;
// the second may also end at the end of the file; anything after it is ignored. A lone CR is an
// ordinary character. Throws RunFailure, naming `name`, if the stream ends before the second
// line, can't be read, or a line is longer than kMaxCoordinateLine.
CoordinateTexts ReadCoordinates(std::FILE* stream, std::string_view name);

// Opens and reads the file; throws RunFailure naming the file when it is missing, a folder,
// unreadable or short, or when another user could change it (Linux: it belongs to another user
// than this one or root, or users besides its owner may write it). Where no file stands but a
// replace cut short left a backup (Windows), the backup is read and `*note`, when given, says so;
// it is emptied otherwise.
CoordinateTexts ReadCoordinateFile(const FilePath& file, std::string* note = nullptr);

// Replaces the file whole where it can: the bytes go to a temporary file of this write's own
// beside it, which then takes its place (RenameOver: on Linux one step; on Windows two, with a
// backup between them). A failure or a kill while the temporary file is written leaves the old
// file. Two writers at once each leave one whole file. On Linux the new file keeps the old one's
// owner, group, mode and extended attributes (ACLs).
//
// The file is written in place instead (WriteInPlace), once a temporary file has shown there is
// room where one could be made, where a new file would lose what its owner set (another user's
// file, other names (hard links); on Windows a DACL set on the file that this user may not set),
// where no file can be made in the folder, or where the file can't be replaced (a file mounted
// over it). A failure there says what the file now holds.
//
// A symbolic link is written through and stays a link; on Linux a link another user planted in a
// shared folder is refused (FollowLinks). A loop of links, anything but an ordinary file at the
// end of the links (a folder, a pipe, a device) and a file made read-only are refused. Throws
// RunFailure naming the file (a link and the file it leads to) and the reason.
void WriteCoordinateFile(const FilePath& file, std::string_view x_text, std::string_view y_text);

}  // namespace shared
