// The Windows grab's choices, on calls that answer as a share, a cut or another file system
// would: what Wine itself can't show.
#include "win32/replace_steps.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "coordinate_file.hpp"
#include "scratch_folder.hpp"
#include "win32/win32_text.hpp"

namespace {

using shared::FilePath;

// A folder of names, where a replace is the two renames its page describes.
class FakeCalls : public shared::win32::ReplaceCalls {
 public:
  std::set<FilePath> files;
  bool inherited = false, may_write_dac = true;
  DWORD replace_error = ERROR_SUCCESS;  // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: after the first
  std::string log;

  DWORD Attributes(const FilePath& path) override {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return files.count(path) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
  }
  bool DaclOnlyInherited(const FilePath&) override { return inherited; }
  bool MayWriteDac(const FilePath&) override { return may_write_dac; }
  bool Replace(const FilePath& to, const FilePath& from, const FilePath& backup,
               DWORD flags) override {
    log += "replace(" + std::to_string(flags) + ") ";
    if (replace_error != ERROR_SUCCESS && replace_error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      SetLastError(replace_error);
      return false;
    }
    Move(to, backup);
    if (replace_error != ERROR_SUCCESS) SetLastError(replace_error);
    return replace_error == ERROR_SUCCESS && Move(from, to);
  }
  bool Move(const FilePath& from, const FilePath& to) override {
    log += "move(" + shared::win32::Narrow(from.substr(from.size() - 3)) + ") ";
    return files.erase(from) && files.insert(to).second;
  }
  bool Delete(const FilePath& path) override { return files.erase(path); }
  FilePath OwnName(const FilePath& path, const char* suffix) override {
    return path + L".7-1" + shared::win32::Widen(suffix);
  }
};

struct ChoiceCase {
  const char* name;
  bool exists, inherited, may_write_dac;
  const char* log;
  bool in_place;
};

class ReplaceChoice : public ::testing::TestWithParam<ChoiceCase> {};

// Each way ends with the new file in place and no backup, or with nothing touched (in place).
TEST_P(ReplaceChoice, TakesTheWayThatKeepsThePermissions) {
  const ChoiceCase& c = GetParam();
  FakeCalls calls;
  calls.files = {L"c.dat.tmp"};
  if (c.exists) calls.files.insert(L"c.dat");
  calls.inherited = c.inherited;
  calls.may_write_dac = c.may_write_dac;
  bool in_place = false;
  const std::string error = shared::win32::PutInPlace(calls, L"c.dat.tmp", L"c.dat", in_place);
  EXPECT_EQ(calls.log, c.log);
  EXPECT_EQ(in_place, c.in_place);
  EXPECT_EQ(error.empty(), !c.in_place) << error;
  std::set<FilePath> left{L"c.dat"};
  if (c.in_place) left.insert(L"c.dat.tmp");  // the caller writes in place, then removes it
  EXPECT_EQ(calls.files, left);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ReplaceChoice,
    ::testing::Values(ChoiceCase{"NoOldFile", false, false, false, "move(tmp) ", false},
                      ChoiceCase{"InheritedDacl", true, true, false,
                                 "replace(4) move(dat) move(tmp) ", false},
                      ChoiceCase{"OwnDaclMayBeCopied", true, false, true,
                                 "replace(0) move(dat) move(tmp) ", false},
                      ChoiceCase{"OwnDaclOnAShareWithChangeRights", true, false, false, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceBackup, CutAfterTheFirstRenameIsMovedBack) {
  FakeCalls calls;
  calls.files = {L"c.dat", L"c.dat.tmp"};
  calls.replace_error = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
  bool in_place = false;
  EXPECT_FALSE(shared::win32::PutInPlace(calls, L"c.dat.tmp", L"c.dat", in_place).empty());
  EXPECT_EQ(calls.files, (std::set<FilePath>{L"c.dat", L"c.dat.tmp"}));
}

// A power cut between the two renames leaves only the backup: read, and said so; the next grab
// puts a file in place, and then the backup goes.
TEST(ReplaceBackup, LeftAloneIsReadUntilAGrabPutsAFileInPlace) {
  ScratchFolder folder;
  const std::string backup = "coordinates.dat.999999999-1.bak";
  folder.Write(backup, "0001\r\n0002\r\n");
  std::filesystem::last_write_time(
      folder.path() / backup,
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  const FilePath file = shared::CoordinateFilePath(folder.path().native());
  std::string note;
  EXPECT_EQ(shared::ReadCoordinateFile(file, &note), (shared::CoordinateTexts{"0001", "0002"}));
  EXPECT_NE(note.find(backup), std::string::npos) << note;
  shared::WriteCoordinateFile(file, "0007", "0042");
  EXPECT_EQ(folder.Read("coordinates.dat"), "0007\r\n0042\r\n");
  EXPECT_EQ(folder.Entries(), 1u) << "the backup was kept";
}

TEST(ReplaceInPlace, WritesTheBytesAndCutsTheRest) {
  ScratchFolder folder;
  folder.Write("c.dat", "11111111\r\n2\r\n");
  shared::InPlaceStage reached = shared::InPlaceStage::kNotCut;
  EXPECT_EQ(shared::WriteInPlace((folder.path() / "c.dat").native(), "3\r\n4\r\n", reached), "");
  EXPECT_EQ(reached, shared::InPlaceStage::kUntouched);
  EXPECT_EQ(folder.Read("c.dat"), "3\r\n4\r\n");
}

TEST(ReparseTags, LinksAreFollowedOtherSurrogatesAndSocketsRefused) {
  using shared::win32::ReparseKind;
  for (const auto& [tag, kind] : {std::pair{0xA000000CUL, ReparseKind::kLink},  // symbolic link
                                  {0xA0000003UL, ReparseKind::kLink},           // mount point
                                  {0xA000001DUL, ReparseKind::kForeign},        // WSL link
                                  {0xA0000027UL, ReparseKind::kForeign},        // WCI link
                                  {0x80000023UL, ReparseKind::kSocket},         // AF_UNIX
                                  {0x9000001AUL, ReparseKind::kFile},           // cloud placeholder
                                  {0x80000013UL, ReparseKind::kFile}}) {        // deduplicated
    EXPECT_EQ(shared::win32::KindOfReparseTag(tag), kind) << std::hex << tag;
  }
}

}  // namespace
