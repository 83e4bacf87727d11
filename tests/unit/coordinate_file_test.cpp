#include "coordinate_file.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <string>
#include <tuple>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "file_system.hpp"
#include "run_failure.hpp"
#include "scratch_folder.hpp"
#include "temporary_name.hpp"

namespace {

using shared::CoordinateTexts;

TEST(CoordinateFile, WritesTwoCrLfLines) {
  ScratchFolder folder;
  const auto file = shared::CoordinateFilePath(folder.path());
  shared::WriteCoordinateFile(file, "0007", "0042");
  EXPECT_EQ(folder.Read("coordinates.dat"), "0007\r\n0042\r\n");
}

TEST(CoordinateFile, ReplacesALongerFileWholeAndLeavesNoTemporaryFile) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "11111111\r\n22222222\r\n33333333\r\n");
  shared::WriteCoordinateFile(shared::CoordinateFilePath(folder.path()), "1234", "0005");
  EXPECT_EQ(folder.Read("coordinates.dat"), "1234\r\n0005\r\n");
  EXPECT_EQ(folder.Entries(), 1u);
}

TEST(CoordinateFile, WriteThenReadRoundTripsEveryText) {
  ScratchFolder folder;
  const auto file = shared::CoordinateFilePath(folder.path());
  for (const CoordinateTexts& texts :
       {CoordinateTexts{"0123", "0456"}, CoordinateTexts{"00-5", "0-42"},
        CoordinateTexts{"10000", "-1920"}, CoordinateTexts{"", ""}}) {
    shared::WriteCoordinateFile(file, texts.x, texts.y);
    EXPECT_EQ(shared::ReadCoordinateFile(file), texts);
  }
}

TEST(CoordinateFile, ReadOnlyFileIsLeftAsTheUserSetIt) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "0001\r\n0002\r\n");
  const auto file = folder.path() / "coordinates.dat";
  std::filesystem::permissions(file,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  try {
    shared::WriteCoordinateFile(shared::CoordinateFilePath(folder.path()), "0999", "0999");
    ADD_FAILURE() << "a read-only file was replaced";
  } catch (const shared::RunFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("coordinates.dat\" is read-only"), std::string::npos)
        << failure.what();
  }
  EXPECT_EQ(folder.Read("coordinates.dat"), "0001\r\n0002\r\n");
  EXPECT_EQ(folder.Entries(), 1u);
  std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

TEST(CoordinateFile, LinkIsWrittenThroughAndStaysALink) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.path() / "kept");
  folder.Write("kept/real.dat", "0001\r\n0002\r\n");
  std::error_code error;
  std::filesystem::create_symlink(std::filesystem::path("kept") / "real.dat",
                                  folder.path() / "coordinates.dat", error);
  if (error) GTEST_SKIP() << "no symbolic link can be made here: " << error.message();
  shared::WriteCoordinateFile(shared::CoordinateFilePath(folder.path()), "0007", "0042");
  EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "coordinates.dat"));
  EXPECT_EQ(folder.Read("kept/real.dat"), "0007\r\n0042\r\n");
  EXPECT_EQ(folder.Entries(), 2u) << "a temporary file was left beside the link";
#ifndef _WIN32  // Windows follows up to 63 reparse points in a path (31 naming full paths)
  // A chain of 41 links (coordinates.dat, then 40 in "chain") is refused; one of 40 is followed.
  std::filesystem::create_directory(folder.path() / "chain");
  std::filesystem::create_symlink("../kept/real.dat", folder.path() / "chain" / "1");
  for (int i = 2; i <= 40; ++i) {
    std::filesystem::create_symlink(std::to_string(i - 1),
                                    folder.path() / "chain" / std::to_string(i));
  }
  std::filesystem::remove(folder.path() / "coordinates.dat");
  std::filesystem::create_symlink("chain/40", folder.path() / "coordinates.dat");
  EXPECT_THROW(shared::WriteCoordinateFile(shared::CoordinateFilePath(folder.path()), "1", "2"),
               shared::RunFailure);
  EXPECT_EQ(folder.Read("kept/real.dat"), "0007\r\n0042\r\n");
  std::filesystem::remove(folder.path() / "coordinates.dat");
  std::filesystem::create_symlink("chain/39", folder.path() / "coordinates.dat");
  shared::WriteCoordinateFile(shared::CoordinateFilePath(folder.path()), "1", "2");
  EXPECT_EQ(folder.Read("kept/real.dat"), "1\r\n2\r\n");
#endif
}

TEST(CoordinateFile, FailedRenameRemovesTheTemporaryFile) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.path() / "coordinates.dat");
  std::filesystem::create_directory(folder.path() / "coordinates.dat" / "keep");
  EXPECT_THROW(shared::WriteCoordinateFile(shared::CoordinateFilePath(folder.path()), "1", "2"),
               shared::RunFailure);
  EXPECT_EQ(folder.Entries(), 1u) << "a temporary file was left behind";
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "coordinates.dat" / "keep"));
}

TEST(CoordinateFile, GrabRemovesLeftoversOfEndedWritersOnceTheyAreOld) {
  ScratchFolder folder;
  // No process has id 999999999: Linux's ids end at 2^22, and Windows hands out small ones.
  const std::tuple<std::string, bool, bool> leftovers[] = {
      // the name; old; to be removed
      {"coordinates.dat.999999999-1.tmp", true, true},
      {"coordinates.dat.999999999-2.tmp", false, false},
      // A name this program never makes: beside the end of a link it may be the user's own.
      {"coordinates.dat.tmp", true, false},
      {shared::TemporaryName<char>("coordinates.dat", 999999999, 3), true, true},
#ifndef _WIN32
      // init's: one whose end an unprivileged user can't ask about (tests/faults runs this so).
      {"coordinates.dat.1-4.tmp", true, false},
      // Another user's (given away as root only): theirs to tidy.
      {"coordinates.dat.999999999-5.tmp", true, ::geteuid() != 0},
#endif
  };
  const auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  for (const auto& [name, old, removed] : leftovers) {
    folder.Write(name, "0");
    if (old) std::filesystem::last_write_time(folder.path() / name, hour_ago);
  }
#ifndef _WIN32
  const auto foreign = folder.path() / std::get<0>(leftovers[5]);
  EXPECT_TRUE(::geteuid() != 0 || ::chown(foreign.c_str(), 4242, 4242) == 0);
#endif
  shared::WriteCoordinateFile(shared::CoordinateFilePath(folder.path()), "1", "2");
  for (const auto& [name, old, removed] : leftovers) {
    EXPECT_NE(std::filesystem::exists(folder.path() / name), removed) << name;
  }
}

#ifndef _WIN32
// An ACL as the kernel keeps it: owner rw, user 4242 r, group r, mask r, others r (mode 0644).
const std::string kAcl(
    "\2\0\0\0\1\0\6\0\xff\xff\xff\xff\2\0\4\0\x92\x10\0\0\4\0\4\0\xff\xff\xff\xff"
    "\x10\0\4\0\xff\xff\xff\xff\x20\0\4\0\xff\xff\xff\xff",
    44);

// Replaced (the attributes copied) or, with a second name, written in place (the link kept).
TEST(CoordinateFile, GrabKeepsAclsAttributesAndHardLinks) {
  for (const bool linked : {false, true}) {
    ScratchFolder folder;
    folder.Write("coordinates.dat", "0001\r\n0002\r\n");
    const auto file = folder.path() / "coordinates.dat";
    if (::setxattr(file.c_str(), "user.note", "mine", 4, 0) != 0 ||
        ::setxattr(file.c_str(), "system.posix_acl_access", kAcl.data(), kAcl.size(), 0) != 0) {
      GTEST_SKIP() << "this file system keeps no extended attributes or ACLs";
    }
    if (linked) std::filesystem::create_hard_link(file, folder.path() / "other.dat");
    shared::WriteCoordinateFile(file, "0007", "0042");
    char note[8] = {}, acl[64] = {};
    ::getxattr(file.c_str(), "user.note", note, sizeof note);
    ::getxattr(file.c_str(), "system.posix_acl_access", acl, sizeof acl);
    EXPECT_EQ(std::string(note) + std::string(acl, 44), "mine" + kAcl) << "linked: " << linked;
    EXPECT_EQ(folder.Read("other.dat"), linked ? "0007\r\n0042\r\n" : "") << "a link split";
    EXPECT_EQ(folder.Entries(), linked ? 2u : 1u);
  }
}

// The message `step` fails with; "done" where it succeeds.
template <typename Step>
std::string FailureOf(Step step) {
  try {
    step();
  } catch (const shared::RunFailure& failure) {
    return failure.what();
  }
  return "done";
}

std::string GrabFailure(const std::filesystem::path& file, const std::string& x = "0007") {
  return FailureOf([&] { shared::WriteCoordinateFile(file, x, "0042"); });
}

// Sets or clears the immutable flag (chattr +i: root, on a file system that keeps it).
bool SetImmutable(const std::filesystem::path& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int flags = 0;
  bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) ::close(fd);
  return done;
}

// A folder that takes no new file (without write permission; for root, immutable) holding a file
// the user may write: written in place, and a write there cut short by a file size limit says
// what the file holds. Without a file there, or over a file that can't be replaced, refused.
TEST(CoordinateFile, FolderThatTakesNoNewFileGetsTheGrabInPlace) {
  ScratchFolder folder;
  const auto file = folder.path() / "coordinates.dat";
  const auto close_folder = [&](bool closed) {
    return ::geteuid() == 0 ? SetImmutable(folder.path(), closed)
                            : ::chmod(folder.path().c_str(), closed ? 0555 : 0755) == 0;
  };
  if (!close_folder(true)) GTEST_SKIP() << "no folder can be closed to new files here";
  EXPECT_EQ(GrabFailure(file).find("in place"), std::string::npos);
  close_folder(false);
  folder.Write("coordinates.dat", "0001\r\n0002\r\n");
  if (SetImmutable(file, true)) {
    EXPECT_NE(GrabFailure(file).find("written: Operation not permitted."), std::string::npos);
    SetImmutable(file, false);
  }
  close_folder(true);
  EXPECT_EQ(GrabFailure(file), "done");
  EXPECT_EQ(folder.Read("coordinates.dat"), "0007\r\n0042\r\n");
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit small{1024, limit.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  const std::string cut = GrabFailure(file, std::string(1500, '1'));
  ::setrlimit(RLIMIT_FSIZE, &limit);
  close_folder(false);
  EXPECT_NE(cut.find("File too large. It may now hold part of the new"), std::string::npos) << cut;
}

// Written in place (a second name), the file waits for another program's lock 2 s, not for
// ever: the grab runs on the window's thread.
TEST(CoordinateFile, LockHeldByAnotherProgramHoldsTheGrabTwoSecondsOnly) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "0001\r\n0002\r\n");
  const auto file = folder.path() / "coordinates.dat";
  std::filesystem::create_hard_link(file, folder.path() / "other.dat");
  const int held = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_SH), 0);
  auto grab = std::async(std::launch::async, [&file] { return GrabFailure(file); });
  const bool ended = grab.wait_for(std::chrono::seconds(4)) == std::future_status::ready;
  ::close(held);  // a grab still waiting goes on, and the test ends
  ASSERT_TRUE(ended) << "the grab waited on the lock for 4 s";
  EXPECT_NE(grab.get().find("lock on it for more than 2 seconds. It was left as it is."),
            std::string::npos);
  EXPECT_EQ(GrabFailure(file), "done") << "the lock gone, the grab goes in";
}

// A file others could change would steer the clicks. Others' ids: root only.
TEST(CoordinateFile, ReadRefusesAFileOthersMayWrite) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "0001\r\n0002\r\n");
  const auto file = folder.path() / "coordinates.dat";
  const uid_t me = ::geteuid();
  const gid_t group = ::getegid();
  // The owner, group and mode; what the message says: the fix, or "done" where it is read.
  for (const auto& [uid, gid, mode, says] : {std::tuple{me, group, 0644, "done"},
                                             {me, group, 0666, "chmod go-w"},
                                             {me, group, 0664, "done"},
                                             {me, group + 1, 0664, "chmod go-w"},
                                             {4242u, group, 0644, "Delete it"}}) {
    if (::chown(file.c_str(), uid, gid) != 0) continue;
    ::chmod(file.c_str(), static_cast<mode_t>(mode));
    const std::string said = FailureOf([&] { shared::ReadCoordinateFile(file); });
    EXPECT_NE(said.find(says), std::string::npos) << uid << " " << said;
  }
}

TEST(CoordinateFile, GrabRefusesALinkToAPipeOrADevice) {
  for (const bool device : {false, true}) {
    ScratchFolder folder;
    const auto thing = folder.path() / "thing";  // a device: a /dev/null of its own (root only)
    if (device ? ::mknod(thing.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0
               : ::mkfifo(thing.c_str(), 0600) != 0) {
      continue;
    }
    std::filesystem::create_symlink(thing, folder.path() / "coordinates.dat");
    try {
      shared::WriteCoordinateFile(folder.path() / "coordinates.dat", "0007", "0042");
      ADD_FAILURE() << "written";
    } catch (const shared::RunFailure& failure) {
      EXPECT_NE(std::string(failure.what()).find("is not an ordinary file"), std::string::npos);
    }
    EXPECT_EQ(std::filesystem::symlink_status(thing).type(),
              device ? std::filesystem::file_type::character : std::filesystem::file_type::fifo);
    EXPECT_EQ(folder.Entries(), 2u);
  }
}
#endif

struct ReadCase {
  const char* name;
  std::string bytes;
  CoordinateTexts expected;
};

class ReadAccepts : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadAccepts, ReturnsTheTwoLinesUntrimmed) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", GetParam().bytes);
  EXPECT_EQ(shared::ReadCoordinateFile(shared::CoordinateFilePath(folder.path())),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadAccepts,
    ::testing::Values(ReadCase{"ClosingCrLf", "0123\r\n0456\r\n", {"0123", "0456"}},
                      ReadCase{"NoClosingLineEnd", "0123\r\n0456", {"0123", "0456"}},
                      ReadCase{"ExtraLinesIgnored", "1\r\n2\r\n3\r\n4\r\n", {"1", "2"}},
                      ReadCase{"LoneLfEndsALine", "0123\n0456\n", {"0123", "0456"}},
                      ReadCase{"LoneCrIsText", "01\r23\r\n0456", {"01\r23", "0456"}},
                      ReadCase{"TrailingCrKept", "0123\r\n0456\r", {"0123", "0456\r"}},
                      ReadCase{"SpacesKept", " 12 \r\n 34 \r\n", {" 12 ", " 34 "}},
                      ReadCase{"EmptyLines", "\r\n\r\n", {"", ""}},
                      ReadCase{"FiveDigits", "10000\r\n-1920\r\n", {"10000", "-1920"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RejectCase {
  const char* name;
  std::string bytes;
  const char* reason;  // a word the message must hold
};

class ReadRejects : public ::testing::TestWithParam<RejectCase> {};

TEST_P(ReadRejects, WithAMessageThatNamesTheFile) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", GetParam().bytes);
  try {
    shared::ReadCoordinateFile(shared::CoordinateFilePath(folder.path()));
    FAIL() << "accepted";
  } catch (const shared::RunFailure& failure) {
    const std::string message = failure.what();
    EXPECT_NE(message.find("coordinates.dat"), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().reason), std::string::npos) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadRejects,
    ::testing::Values(RejectCase{"Empty", "", "empty"},
                      RejectCase{"OneLineNoEnd", "0123", "second line"},
                      RejectCase{"OneLineWithEnd", "0123\r\n", "second line"},
                      RejectCase{"LongFirstLine", std::string(100000, '7'), "longer"},
                      RejectCase{"LongSecondLine", "1\r\n" + std::string(300, '0'), "longer"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CoordinateFile, MissingFileIsReportedAsMissing) {
  ScratchFolder folder;
  try {
    shared::ReadCoordinateFile(shared::CoordinateFilePath(folder.path()));
    FAIL() << "accepted";
  } catch (const shared::RunFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("does not exist"), std::string::npos);
  }
}

TEST(CoordinateFile, FolderInPlaceOfTheFileIsReported) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.path() / "coordinates.dat");
  EXPECT_THROW(shared::ReadCoordinateFile(shared::CoordinateFilePath(folder.path())),
               shared::RunFailure);
}

TEST(CoordinateFile, NonAsciiFolderWorks) {
  ScratchFolder folder;
  const auto sub = folder.path() / std::filesystem::path(u8"Dokumente-\u00e9\u00df-\u4e2d");
  std::filesystem::create_directory(sub);
  shared::WriteCoordinateFile(shared::CoordinateFilePath(sub), "0001", "0002");
  EXPECT_EQ(shared::ReadCoordinateFile(shared::CoordinateFilePath(sub)),
            (CoordinateTexts{"0001", "0002"}));
}

TEST(ProgramFolder, HoldsTheRunningTestExecutable) {
  const auto folder = shared::ProgramFolder();
  EXPECT_TRUE(std::filesystem::is_directory(folder)) << shared::PathText(folder);
  bool found = false;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    found = found || entry.path().stem() == "unit_tests";
  }
  EXPECT_TRUE(found) << shared::PathText(folder);
}

}  // namespace
