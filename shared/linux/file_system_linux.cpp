#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "../file_system.hpp"
#include "../run_failure.hpp"
#include "../temporary_name.hpp"

namespace shared {
namespace {

// Writes all of `bytes` at the start of `fd`; an empty string, or the system's reason.
std::string WriteAll(int fd, std::string_view bytes) {
  for (off_t offset = 0; !bytes.empty();) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? Reason(errno) : "nothing could be written";
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += written;
  }
  return {};
}

// Creates, writes and syncs a new file at `path`, no more open than `old` when given. Sets
// `name_taken` when something stands there, `folder_closed` when the folder takes no new file.
std::string WriteNewFile(const FilePath& path, std::string_view bytes, const struct stat* old,
                         bool& name_taken, bool& folder_closed) {
  // Created no more open than the file it replaces, before it holds anything.
  const mode_t mode = old ? old->st_mode & 0666 : 0666;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  name_taken = fd < 0 && errno == EEXIST;
  folder_closed = fd < 0 && (errno == EACCES || errno == EPERM);
  if (fd < 0) return Reason(errno);
  std::string error = WriteAll(fd, bytes);
  if (error.empty() && ::fsync(fd) != 0) error = Reason(errno);
  if (::close(fd) != 0 && error.empty()) error = Reason(errno);
  if (!error.empty()) ::unlink(path.c_str());
  return error;
}

// The names of a file's extended attributes (ACLs among them, as system.posix_acl_*), from
// `list` (listxattr or flistxattr on a buffer of the given size). Nothing where the file system
// keeps none; nullopt where they can't be read.
template <typename List>
std::optional<std::vector<std::string>> AttributeNames(List list) {
  for (;;) {
    const ssize_t size = list(nullptr, 0);
    if (size < 0) {
      if (errno == ENOTSUP) return std::vector<std::string>();
      return std::nullopt;
    }
    std::string names(static_cast<std::size_t>(size), '\0');
    const ssize_t got = list(names.data(), names.size());
    // One was added meanwhile (with no room given, the call answers the size instead).
    if ((got < 0 && errno == ERANGE) || (size == 0 && got > 0)) continue;
    if (got < 0) return std::nullopt;
    std::vector<std::string> result;
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
      const std::size_t end = names.find('\0', at);
      result.push_back(names.substr(at, end - at));
      at = end + 1;
    }
    return result;
  }
}

// One attribute's value, read by `get` (getxattr or fgetxattr); nullopt where it can't be read.
template <typename Get>
std::optional<std::string> AttributeValue(Get get) {
  for (;;) {
    const ssize_t size = get(nullptr, 0);
    if (size < 0) return std::nullopt;
    std::string value(static_cast<std::size_t>(size), '\0');
    const ssize_t got = get(value.data(), value.size());
    if ((got < 0 && errno == ERANGE) || (size == 0 && got > 0)) continue;  // changed meanwhile
    if (got < 0) return std::nullopt;
    value.resize(static_cast<std::size_t>(got));
    return value;
  }
}

// Gives the temporary file `fd` exactly the extended attributes of `old`: the same values, and
// none that `old` lacks (a default ACL of the folder's, say). False where one can't be read or
// set: this process may not set a security.* or trusted.* one.
bool TakeAttributes(int fd, const FilePath& old) {
  const auto wanted = AttributeNames(
      [&](char* list, std::size_t size) { return ::listxattr(old.c_str(), list, size); });
  const auto present =
      AttributeNames([&](char* list, std::size_t size) { return ::flistxattr(fd, list, size); });
  if (!wanted || !present) return false;
  for (const std::string& name : *present) {
    if (std::find(wanted->begin(), wanted->end(), name) == wanted->end() &&
        ::fremovexattr(fd, name.c_str()) != 0) {
      return false;
    }
  }
  for (const std::string& name : *wanted) {
    const auto value = AttributeValue([&](void* buffer, std::size_t size) {
      return ::getxattr(old.c_str(), name.c_str(), buffer, size);
    });
    if (!value) return false;
    const auto has = AttributeValue([&](void* buffer, std::size_t size) {
      return ::fgetxattr(fd, name.c_str(), buffer, size);
    });
    if (has != value && ::fsetxattr(fd, name.c_str(), value->data(), value->size(), 0) != 0) {
      return false;
    }
  }
  return true;
}

// How long a write in place waits for another program's lock: as long as Windows' start-up read
// waits for a file held without sharing.
constexpr auto kLockPatience = std::chrono::seconds(2);

// Takes the lock that keeps two writers in place apart: each would cut the other's bytes to its
// own length. Waits kLockPatience for another holder, not for ever: the grab runs on the window's
// thread. A file system without locks is written without one.
std::string LockForWriting(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {};
    if (errno == ENOLCK || errno == EOPNOTSUPP) return {};
    if (errno != EWOULDBLOCK && errno != EINTR) return Reason(errno);
    if (std::chrono::steady_clock::now() >= deadline) {
      return "another program held a lock on it for more than " +
             std::to_string(kLockPatience.count()) + " seconds";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A user as a message names them: their name where the system knows it, and their number.
std::string UserText(uid_t uid) {
  const passwd* const entry = ::getpwuid(uid);
  const std::string number = std::to_string(uid);
  return entry ? "user \"" + std::string(entry->pw_name) + "\" (" + number + ")" : "user " + number;
}

// Why the link at `link`, owned by `owner`, is not followed; empty when it may be. As the kernel's
// protected_symlinks rule: in a sticky folder every user may write, another user can plant a link
// that leads this user's grab to any file of theirs.
std::string PlantedBy(const std::filesystem::path& link, uid_t owner) {
  struct stat folder {};
  const std::filesystem::path parent = link.parent_path();
  if (owner == ::geteuid() || ::stat(parent.empty() ? "." : parent.c_str(), &folder) != 0 ||
      (folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH) || folder.st_uid == owner) {
    return {};
  }
  return "it belongs to " + UserText(owner) +
         " and stands in a folder every user may write, where another user's link could lead "
         "the grab to any file of yours. Remove it, or ask its owner to, and grab again";
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
                                 FilePath& temporary, bool& folder_closed) {
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
    const std::string error =
        WriteNewFile(temporary, bytes, replaces ? &old : nullptr, name_taken, folder_closed);
    if (!name_taken || attempt == 100) return error;
  }
}

bool KeepsWhatTheOwnerSet(const FilePath& target, const FilePath& temporary) {
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) return errno == ENOENT;  // nothing to keep
  // Another name for the file would keep the old bytes.
  if (!S_ISREG(old.st_mode) || old.st_nlink > 1) return false;
  const int fd = ::open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat now {};
  // The owner first: a change of owner clears set-id bits of the mode. Only root may give a
  // file away; its owner may give it a group of its own. Changed only where they differ: a file
  // system without owners and modes of its own (FAT) refuses any change but takes "no change".
  // The mode last: an ACL set or removed changes it, and it then sets the ACL's mask to the
  // old one's, which its group bits are.
  bool kept =
      ::fstat(fd, &now) == 0 &&
      ((now.st_uid == old.st_uid && now.st_gid == old.st_gid) ||
       ::fchown(fd, old.st_uid, old.st_gid) == 0) &&
      TakeAttributes(fd, target) && ::fstat(fd, &now) == 0 &&
      ((now.st_mode & 07777) == (old.st_mode & 07777) || ::fchmod(fd, old.st_mode & 07777) == 0) &&
      ::fstat(fd, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
      (now.st_mode & 07777) == (old.st_mode & 07777) && ::fsync(fd) == 0;
  if (::close(fd) != 0) kept = false;
  return kept;
}

std::string WriteInPlace(const FilePath& target, std::string_view bytes, InPlaceStage& reached) {
  reached = InPlaceStage::kUntouched;
  // Not through a link put there since the links were followed, and not held up by a pipe.
  const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Reason(errno);
  struct stat status {};
  std::string error;
  if (::fstat(fd, &status) != 0) {
    error = Reason(errno);
  } else if (!S_ISREG(status.st_mode)) {
    error = "it is not an ordinary file";
  } else {
    error = LockForWriting(fd);
  }
  if (error.empty()) {
    // The new bytes over the old, then the length: the file never reads empty, and a reader
    // sees the old bytes, the new ones, or for a moment the new ones with the old tail.
    reached = InPlaceStage::kPartlyWritten;
    error = WriteAll(fd, bytes);
    if (error.empty()) reached = InPlaceStage::kNotCut;
    if (error.empty() && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
      error = Reason(errno);
    }
    if (error.empty()) reached = InPlaceStage::kNotSynced;
    if (error.empty() && ::fsync(fd) != 0) error = Reason(errno);
  }
  // A network file system may report a failed write only here.
  if (::close(fd) != 0 && error.empty()) error = Reason(errno);
  if (error.empty()) reached = InPlaceStage::kUntouched;
  return error;
}

std::string RenameOver(const FilePath& from, const FilePath& to, bool& in_place) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    // A file mounted over `to` (a bind mount in a container or a sandbox) stays where it is.
    in_place = errno == EBUSY;
    return Reason(errno);
  }
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
  DIR* const listing = ::opendir(folder.c_str());
  if (!listing) return;
  while (const dirent* entry = ::readdir(listing)) {
    const auto owner = TemporaryOwner<char>(name, entry->d_name);
    if (!owner) continue;
    // A live owner may be writing right now; so may one that only looks ended (see kLeftoverAge).
    if (::kill(static_cast<pid_t>(*owner), 0) == 0 || errno != ESRCH) continue;
    struct stat status {};
    // Only this user's: in a shared folder another user's file is theirs to tidy.
    if (::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
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
    std::string planted = PlantedBy(current, status.st_uid);
    if (!planted.empty()) return planted;
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(current, error);
    if (error) return Reason(error.value());
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  target = current.native();
  return {};
}

FileControl ControlOf(std::FILE* stream) {
  FileControl control;
  struct stat status {};
  if (::fstat(::fileno(stream), &status) != 0) return control;
  control.owner = UserText(status.st_uid);
  control.owned_by_another = status.st_uid != ::geteuid() && status.st_uid != 0;
  // The group counts as others unless it is this user's own (Debian gives each user a group).
  control.others_may_write = (status.st_mode & S_IWOTH) != 0 ||
                             ((status.st_mode & S_IWGRP) != 0 && status.st_gid != ::getegid());
  return control;
}

FilePath LeftBackup(const FilePath&) { return {}; }

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
