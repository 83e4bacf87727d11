#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "../file_system.hpp"

namespace shared {
namespace {

std::string Reason() { return std::strerror(errno); }

}  // namespace

FilePath ProgramFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().native();
}

std::FILE* OpenForReading(const FilePath& path) { return std::fopen(path.c_str(), "rb"); }

std::string WriteFileDurably(const FilePath& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Reason();
  std::string error;
  while (!bytes.empty() && error.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = written < 0 ? Reason() : "nothing could be written";
    } else {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }
  if (error.empty() && ::fsync(fd) != 0) error = Reason();
  if (::close(fd) != 0 && error.empty()) error = Reason();
  return error;
}

std::string RenameOver(const FilePath& from, const FilePath& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return Reason();
  // Make the rename itself survive a power cut; failing to is no reason to report the grab lost.
  const std::filesystem::path to_folder = std::filesystem::path(to).parent_path();
  const int dir =
      ::open(to_folder.empty() ? "." : to_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

FileKind KindOf(const FilePath& path) {
  std::error_code ec;
  switch (std::filesystem::status(path, ec).type()) {
    case std::filesystem::file_type::regular:
      return FileKind::kRegular;
    case std::filesystem::file_type::directory:
      return FileKind::kDirectory;
    case std::filesystem::file_type::not_found:
    case std::filesystem::file_type::none:
      return FileKind::kMissing;
    default:
      return FileKind::kOther;  // a pipe, a socket, a device
  }
}

void RemoveFileQuietly(const FilePath& path) { ::unlink(path.c_str()); }

FilePath PathFromUtf8(std::string_view text) { return FilePath(text); }

FilePath JoinPath(const FilePath& folder, const FilePath& name) { return folder + '/' + name; }

std::string PathText(const FilePath& path) { return path; }

}  // namespace shared
