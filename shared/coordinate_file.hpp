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
// unreadable or short.
CoordinateTexts ReadCoordinateFile(const FilePath& file);

// Replaces the file whole: the bytes go to a temporary file of this write's own beside it, which
// is then renamed over it, so a failure or a kill at any moment leaves the old file or the new
// one, never a part, and two writers at once each leave one whole file. On Linux the new file
// keeps the old one's owner, group, mode and extended attributes (ACLs); where this process can't
// give it all of them (another user's file), or the file has other names (hard links), the file is
// written in place instead, once the temporary file has shown there is room, and refused, left
// as it is, when it can't be written. A symbolic link is written through and stays a link; a
// loop of links, anything but an ordinary file at the end of the links (a folder, a pipe, a
// device) and a file made read-only are refused. Throws RunFailure naming the file (a link and
// the file it leads to) and the reason; the old file and every link are then untouched.
void WriteCoordinateFile(const FilePath& file, std::string_view x_text, std::string_view y_text);

}  // namespace shared
