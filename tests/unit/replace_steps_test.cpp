// The Windows grab's choices, on calls that answer as a share or a cut would: Wine shows neither.
#include "win32/replace_steps.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "coordinate_file.hpp"
#include "scratch_folder.hpp"

namespace {

using shared::FilePath;

// A folder of names, where a replace is the two renames its page describes.
struct FakeCalls : shared::win32::ReplaceCalls {
  std::set<FilePath> files{L"c", L"c.tmp"};
  bool inherited = false, may_write_dac = true, cut = false;  // cut: ERROR_..._REPLACEMENT_2
  std::string log;
  DWORD Attributes(const FilePath& p) override { return files.count(p) ? 0 : ~DWORD{0}; }
  bool DaclOnlyInherited(const FilePath&) override { return inherited; }
  bool MayWriteDac(const FilePath&) override { return may_write_dac; }
  bool Replace(const FilePath& to, const FilePath& from, const FilePath& backup,
               DWORD flags) override {
    log += "replace" + std::to_string(flags) + " ";
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return Move(to, backup) && !cut && Move(from, to);
  }
  bool Move(const FilePath& from, const FilePath& to) override {
    log += "move" + std::to_string(from.size()) + " ";
    return files.erase(from) && files.insert(to).second;
  }
  bool Delete(const FilePath& path) override { return files.erase(path); }
  FilePath OwnName(const FilePath& path, const char*) override { return path + L".bak"; }
};

TEST(ReplaceChoice, KeepsTheDaclOrWritesInPlace) {
  // The old file there, its DACL only inherited, WRITE_DAC allowed; the calls made.
  for (const auto& [exists, inherited, may_write_dac, log] :
       {std::tuple{false, false, false, "move5 "},
        {true, true, false, "replace4 move1 move5 "},  // IGNORE_ACL_ERRORS
        {true, false, true, "replace0 move1 move5 "},
        {true, false, false, ""}}) {  // in place: a share with "Change" rights
    FakeCalls calls;
    if (!exists) calls.files.erase(L"c");
    calls.inherited = inherited;
    calls.may_write_dac = may_write_dac;
    bool in_place = false;
    const std::string error = shared::win32::PutInPlace(calls, L"c.tmp", L"c", in_place);
    EXPECT_EQ(calls.log, log);
    EXPECT_EQ(in_place, !*log) << error;
    EXPECT_EQ(calls.files.size(), *log ? 1u : 2u) << "the backup or the new file left";
  }
  FakeCalls calls;  // cut after the first rename: the old file is moved back
  calls.cut = true;
  bool in_place = false;
  EXPECT_NE(shared::win32::PutInPlace(calls, L"c.tmp", L"c", in_place), "");
  EXPECT_EQ(calls.files, (std::set<FilePath>{L"c", L"c.tmp"}));
}

// A power cut between the two renames leaves only the backup: it is read, and said so, until a
// grab puts a file in place; then it goes.
TEST(ReplaceBackup, LeftAloneIsReadUntilAGrabPutsAFileInPlace) {
  ScratchFolder folder;
  const std::string backup = "coordinates.dat.999999999-1.bak";
  folder.Write(backup, "0001\r\n0002\r\n");
  const auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(folder.path() / backup, hour_ago);
  const FilePath file = shared::CoordinateFilePath(folder.path().native());
  std::string note;
  EXPECT_EQ(shared::ReadCoordinateFile(file, &note), (shared::CoordinateTexts{"0001", "0002"}));
  EXPECT_NE(note.find(backup), std::string::npos) << note;
  shared::WriteCoordinateFile(file, "0007", "0042");
  EXPECT_EQ(folder.Entries(), 1u) << "the backup was kept";
  shared::InPlaceStage reached{};
  EXPECT_EQ(shared::WriteInPlace(file, "1\r\n", reached), "");
  EXPECT_EQ(folder.Read("coordinates.dat"), "1\r\n") << "written in place, the rest cut";
}

// A symbolic link and a mount point; a WSL link and a WCI link; AF_UNIX; a cloud placeholder.
TEST(ReparseTags, LinksAreFollowedOtherSurrogatesAndSocketsRefused) {
  using enum shared::win32::ReparseKind;
  for (const auto& [tag, kind] : {std::pair{0xA000000CUL, kLink},
                                  {0xA0000003UL, kLink},
                                  {0xA000001DUL, kForeign},
                                  {0xA0000027UL, kForeign},
                                  {0x80000023UL, kSocket},
                                  {0x9000001AUL, kFile}}) {
    EXPECT_EQ(shared::win32::KindOfReparseTag(tag), kind) << std::hex << tag;
  }
}

}  // namespace
