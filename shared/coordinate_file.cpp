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

namespace {

// Another user who may change the file could steer Idlepress's clicks: as ssh refuses a key file
// others can write, such a file is refused.
void RefuseWhatOthersControl(std::FILE* stream, std::string_view name) {
  const FileControl control = ControlOf(stream);
  if (control.owned_by_another) {
    Fail(name, "belongs to " + control.owner +
                   ", who could change the point Idlepress clicks, so it was not used. Delete "
                   "it (or ask its owner to) and grab the point again with Sightrel.");
  }
  if (control.others_may_write) {
    Fail(name, "belongs to " + control.owner +
                   " but other users may write it and so change the point Idlepress clicks, so "
                   "it was not used. Make it writable by its owner alone (chmod go-w \"" +
                   std::string(name) + "\") and start Idlepress again.");
  }
}

CoordinateTexts ReadOpenedFile(const FilePath& file) {
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
  RefuseWhatOthersControl(stream.get(), name);
  return ReadCoordinates(stream.get(), name);
}

// What a write in place that failed left in the file.
std::string LeftInPlace(InPlaceStage reached) {
  switch (reached) {
    case InPlaceStage::kUntouched:
      return "It was left as it is.";
    case InPlaceStage::kPartlyWritten:
      return "It may now hold part of the new point over the old one: grab again before "
             "Idlepress reads it.";
    case InPlaceStage::kNotCut:
      return "It now holds the new point, followed by the rest of the old file.";
    case InPlaceStage::kNotSynced:
      break;
  }
  return "It now holds the new point, but the system did not confirm that it reached the disk: "
         "grab again.";
}

}  // namespace

CoordinateTexts ReadCoordinateFile(const FilePath& file, std::string* note) {
  if (note) note->clear();
  // A replace cut short between its two renames (Windows) leaves the old file as a backup.
  const FilePath backup = KindOf(file) == FileKind::kMissing ? LeftBackup(file) : FilePath();
  if (backup.empty()) return ReadOpenedFile(file);
  const CoordinateTexts texts = ReadOpenedFile(backup);
  if (!note) return texts;
  *note = "The coordinate file \"" + PathText(file) + "\" is missing, so the point was read " +
          "from \"" + PathText(backup) +
          "\", which a grab cut short left behind. Grab the point again to be sure of it.";
  return texts;
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
  bool folder_closed = false;
  error = WriteTemporaryBeside(target, bytes, temporary, folder_closed);
  // Why the file is written in place, if it is; empty while it is replaced.
  std::string why_in_place;
  if (!error.empty()) {
    // As editors do, a file the user may write is written in place in a folder they may not.
    if (!folder_closed || kind != FileKind::kRegular) {
      FailWrite(file, target, "can't be written: " + error + ".");
    }
    why_in_place =
        "can't be written as a new file, since none can be made beside it (" + error + ")";
  } else if (!KeepsWhatTheOwnerSet(target, temporary)) {
    // As careful editors do, the file is written in place where a new one would lose its owner,
    // group, other names or attributes. The temporary file, written in full and synced, has
    // shown there is room for the bytes.
    RemoveFileQuietly(temporary);
    why_in_place =
        "can't be written without changing its owner, group, other names (hard links) "
        "or attributes";
  } else {
    bool in_place = false;
    error = RenameOver(temporary, target, in_place);
    if (!error.empty()) RemoveFileQuietly(temporary);
    if (!error.empty() && !in_place) FailWrite(file, target, "can't be written: " + error + ".");
    if (!error.empty()) why_in_place = "can't be replaced (" + error + ")";
  }
  if (!why_in_place.empty()) {
    InPlaceStage reached = InPlaceStage::kUntouched;
    error = WriteInPlace(target, bytes, reached);
    if (!error.empty()) {
      FailWrite(
          file, target,
          why_in_place + ", and can't be written in place: " + error + ". " + LeftInPlace(reached));
    }
  }
  RemoveAbandonedTemporaries(target);
}

}  // namespace shared
