#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../file_system.hpp"

namespace shared {
namespace {

std::string Reason() { return std::strerror(errno); }

}  // namespace

std::filesystem::path ProgramFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::FILE* OpenForReading(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}

std::string WriteFileDurably(const std::filesystem::path& path, std::string_view bytes) {
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

std::string RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return Reason();
  // Make the rename itself survive a power cut; failing to is no reason to report the grab lost.
  const int dir = ::open(to.parent_path().empty() ? "." : to.parent_path().c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

std::string PathText(const std::filesystem::path& path) { return path.string(); }

}  // namespace shared
