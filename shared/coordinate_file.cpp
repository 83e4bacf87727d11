#include "coordinate_file.hpp"

#include <cerrno>
#include <memory>
#include <optional>

#include "file_system.hpp"
#include "run_failure.hpp"

namespace shared {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void Fail(std::string_view name, std::string_view problem) {
  throw RunFailure("The coordinate file \"" + std::string(name) + "\" " + std::string(problem));
}

// A write's failure names a link and the file it leads to: that one was refused.
[[noreturn]] void FailWrite(const FilePath& file, const FilePath& target,
                            std::string_view problem) {
  std::string subject = "\"" + PathText(file) + "\"";
  if (target != file) subject += " (a link to \"" + PathText(target) + "\")";
  throw RunFailure("The coordinate file " + subject + " " + std::string(problem));
}

enum class LineEnd { kNewline, kEndOfFile };

// Reads one line into `line`; returns how it ended, or nullopt at the end of the file before any
// character of the line.
std::optional<LineEnd> ReadLine(std::FILE* stream, std::string_view name, int line_number,
                                std::string& line) {
  line.clear();
  // Every character kept goes through here, a CR kept at the end of the file included.
  const auto keep = [&](char c) {
    line.push_back(c);
    if (line.size() > kMaxCoordinateLine) {
      Fail(name, "has a line " + std::to_string(line_number) + " longer than " +
                     std::to_string(kMaxCoordinateLine) + " characters; it holds no coordinate.");
    }
  };
  bool pending_cr = false;  // a CR is text unless an LF follows it
  for (;;) {
    errno = 0;
    const int c = std::fgetc(stream);
    if (c == EOF) {
      if (std::ferror(stream)) Fail(name, "can't be read: " + Reason(errno) + ".");
      if (pending_cr) keep('\r');
      if (line.empty()) return std::nullopt;
      return LineEnd::kEndOfFile;
    }
    if (c == '\n') return LineEnd::kNewline;  // CR LF or a lone LF; the CR is not kept
    if (pending_cr) keep('\r');
    pending_cr = (c == '\r');
    if (!pending_cr) keep(static_cast<char>(c));
  }
}

}  // namespace

FilePath CoordinateFilePath(const FilePath& program_folder) {
  return JoinPath(program_folder, PathFromUtf8(kCoordinateFileName));
}

std::string CoordinateFileBytes(std::string_view x_text, std::string_view y_text) {
  std::string bytes;
  bytes.reserve(x_text.size() + y_text.size() + 4);
  bytes.append(x_text).append("\r\n").append(y_text).append("\r\n");
  return bytes;
}

CoordinateTexts ReadCoordinates(std::FILE* stream, std::string_view name) {
  CoordinateTexts texts;
  const std::optional<LineEnd> first = ReadLine(stream, name, 1, texts.x);
  if (!first) Fail(name, "is empty; it should hold the X coordinate and then the Y coordinate.");
  if (*first == LineEnd::kEndOfFile || !ReadLine(stream, name, 2, texts.y)) {
    Fail(name, "ends before its second line; it should hold the X and the Y coordinate.");
  }
  return texts;
}

CoordinateTexts ReadCoordinateFile(const FilePath& file) {
  const std::string name = PathText(file);
  const FileKind kind = KindOf(file);
  if (kind == FileKind::kDirectory) Fail(name, "is a folder, not a file.");
  // A pipe would hold the start-up until something writes to it; a device holds no grab.
  if (kind == FileKind::kOther) {
    Fail(name, "is not an ordinary file (a pipe, a device or the like).");
  }
  bool missing = false;
  std::string reason;
  FileHandle stream(OpenForReading(file, missing, reason));
  if (!stream) {
    if (missing) Fail(name, "does not exist. Grab a point with Sightrel first.");
    Fail(name, "can't be opened: " + reason + ".");
  }
  return ReadCoordinates(stream.get(), name);
}

void WriteCoordinateFile(const FilePath& file, std::string_view x_text, std::string_view y_text) {
  // A link is written through: the file it points at gets the grab, and the link stays a link.
  FilePath target;
  std::string error = FollowLinks(file, target);
  if (!error.empty()) Fail(PathText(file), "is a link that can't be followed: " + error + ".");
  // A pipe, a device, a socket or a folder is never replaced: as root, a link to /dev/null
  // would have the device itself replaced by a file.
  const FileKind kind = KindOf(target);
  if (kind == FileKind::kDirectory || kind == FileKind::kOther) {
    FailWrite(file, target,
              "is not an ordinary file (a folder, a pipe, a device or the like), so it was left "
              "as it is.");
  }
  if (IsReadOnly(target)) {
    FailWrite(file, target,
              "is read-only, so it was left as it is. Allow changes to it, or delete "
              "it, and grab again.");
  }
  const std::string bytes = CoordinateFileBytes(x_text, y_text);
  FilePath temporary;
  error = WriteTemporaryBeside(target, bytes, temporary);
  if (error.empty() && !KeepsWhatTheOwnerSet(target, temporary)) {
    // As careful editors do, the file is written in place where a new one would lose its owner,
    // group, other names or attributes. The temporary file, written in full and synced, has
    // shown there is room for the bytes.
    RemoveFileQuietly(temporary);
    error = WriteInPlace(target, bytes);
    if (!error.empty()) {
      FailWrite(file, target,
                "can't be written without changing its owner, group, other names (hard links) "
                "or attributes, and can't be written in place: " +
                    error + ". It was left as it is.");
    }
  } else if (error.empty()) {
    error = RenameOver(temporary, target);
    if (!error.empty()) RemoveFileQuietly(temporary);
  }
  if (error.empty()) RemoveAbandonedTemporaries(target);
  if (!error.empty()) FailWrite(file, target, "can't be written: " + error + ".");
}

}  // namespace shared
