#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>

#include "../file_system.hpp"
#include "../run_failure.hpp"
#include "../temporary_name.hpp"

namespace shared {
namespace {

// Gives the new file `fd` the owner and group of `old`, where this process may, then its mode.
// The owner first: a change of owner may clear set-id bits of the mode.
std::string TakeOwnerAndMode(int fd, const struct stat& old) {
  // Only root may give a file away; its owner may still give it a group it belongs to. Where
  // neither is allowed, the new file stays this process's own and the grab goes on.
  [[maybe_unused]] const bool given =
      ::fchown(fd, old.st_uid, old.st_gid) == 0 ||
      (errno == EPERM && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0);
  // A file system without modes of its own (FAT) refuses with EPERM; all its files share one.
  if (::fchmod(fd, old.st_mode & 07777) != 0 && errno != EPERM) return Reason(errno);
  return {};
}

// Creates, writes and syncs a new file at `path`, with the owner and mode of `old` when given.
// Sets `name_taken` when something stands there.
std::string WriteNewFile(const FilePath& path, std::string_view bytes, const struct stat* old,
                         bool& name_taken) {
  // Created no more open than the file it replaces, before it holds anything.
  const mode_t mode = old ? old->st_mode & 0666 : 0666;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  name_taken = fd < 0 && errno == EEXIST;
  if (fd < 0) return Reason(errno);
  std::string error = old ? TakeOwnerAndMode(fd, *old) : std::string();
  while (!bytes.empty() && error.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = written < 0 ? Reason(errno) : "nothing could be written";
    } else {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }
  if (error.empty() && ::fsync(fd) != 0) error = Reason(errno);
  if (::close(fd) != 0 && error.empty()) error = Reason(errno);
  if (!error.empty()) ::unlink(path.c_str());
  return error;
}

}  // namespace

FilePath ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || program.empty()) {
    throw RunFailure(
        "The program's own folder, where coordinates.dat is kept, can't be found: "
        "/proc/self/exe can't be read (" +
        error.message() + ").");
  }
  return program.parent_path().native();
}

std::FILE* OpenForReading(const FilePath& path, bool& missing, std::string& reason) {
  std::FILE* const stream = std::fopen(path.c_str(), "rb");
  missing = !stream && errno == ENOENT;
  if (!stream) reason = Reason(errno);
  return stream;
}

std::string WriteTemporaryBeside(const FilePath& target, std::string_view bytes,
                                 FilePath& temporary) {
  struct stat old {};
  const bool replaces = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // The process id keeps two grabs at once apart; the random part, a name left by a process that
  // was killed and whose id came round again.
  // The seed comes from getrandom (glibc 2.25), not std::random_device: the static C++ library's
  // random_device calls arc4random, which would make the program need glibc 2.36.
  unsigned seed = 0;
  if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
    seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  std::minstd_rand random(seed);
  for (int attempt = 0;; ++attempt) {
    temporary = TemporaryName<char>(target, static_cast<unsigned long>(::getpid()), random());
    bool name_taken = false;
    const std::string error = WriteNewFile(temporary, bytes, replaces ? &old : nullptr, name_taken);
    if (!name_taken || attempt == 100) return error;
  }
}

std::string RenameOver(const FilePath& from, const FilePath& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return Reason(errno);
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

void RemoveAbandonedTemporaries(const FilePath& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  const std::string fixed_name = name + ".tmp";  // the one name writers used before these
  DIR* const listing = ::opendir(folder.c_str());
  if (!listing) return;
  while (const dirent* entry = ::readdir(listing)) {
    const auto owner = TemporaryOwner<char>(name, entry->d_name);
    if (!owner && entry->d_name != fixed_name) continue;
    // A live owner may be writing right now; so may one that only looks ended (see kLeftoverAge).
    if (owner && (::kill(static_cast<pid_t>(*owner), 0) == 0 || errno != ESRCH)) continue;
    struct stat status {};
    if (::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode) ||
        ::time(nullptr) - status.st_mtime < static_cast<std::time_t>(kLeftoverAge.count())) {
      continue;
    }
    ::unlinkat(::dirfd(listing), entry->d_name, 0);
  }
  ::closedir(listing);
}

std::string FollowLinks(const FilePath& path, FilePath& target) {
  std::filesystem::path current = path;
  // As many links as the kernel itself follows before it calls it a loop (MAXSYMLINKS).
  constexpr int kMostLinks = 40;
  for (int hop = 0;; ++hop) {
    struct stat status {};
    // Nothing there, or no way to look: the write that follows says why, if it fails.
    if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
    if (hop == kMostLinks) return Reason(ELOOP);
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(current, error);
    if (error) return Reason(error.value());
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  target = current.native();
  return {};
}

bool IsReadOnly(const FilePath& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  // The write bits, not access(): root may write anything, but a file made read-only is the
  // user's word that it should not change.
  return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

void RemoveFileQuietly(const FilePath& path) { ::unlink(path.c_str()); }

FilePath PathFromUtf8(std::string_view text) { return FilePath(text); }

FilePath JoinPath(const FilePath& folder, const FilePath& name) { return folder + '/' + name; }

std::string PathText(const FilePath& path) { return path; }

}  // namespace shared
