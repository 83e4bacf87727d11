// The Windows grab's choices, on calls that answer as a share or a cut would: Wine shows neither.
#include "win32/replace_steps.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

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
