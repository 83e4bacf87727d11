// Coordinate files no grab ever writes: each must stop Idlepress at start-up with a message that
// names the file and says what is wrong, quickly and without reading more than a line's worth.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "clicker_form.hpp"
#include "coordinate_file.hpp"
#include "fake_desktop.hpp"
#include "fake_pointer.hpp"
#include "file_system.hpp"
#include "run_failure.hpp"
#include "scratch_folder.hpp"
#include "shown_text.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

class HostileFileTest : public ::testing::Test {
 protected:
  HostileFileTest()
      : file(shared::CoordinateFilePath(folder.path())),
        form(pointer, folder.path()),
        desktop(form.Layout()) {}

  // The start-up's failure message; "no failure" if it started. A failed start-up must leave
  // the window where it was and no watch running.
  std::string LoadFailure() {
    try {
      form.Form_Load(desktop);
    } catch (const shared::RunFailure& failure) {
      EXPECT_TRUE(desktop.moves.empty());
      EXPECT_FALSE(form.Watch());
      return failure.what();
    }
    return "no failure";
  }

  void ExpectNamesTheFileAndSays(const std::string& message,
                                 const std::vector<std::string>& words) const {
    EXPECT_NE(message.find(shared::PathText(file)), std::string::npos) << message;
    for (const std::string& word : words) {
      EXPECT_NE(message.find(word), std::string::npos) << "\"" << word << "\" in: " << message;
    }
  }

  ScratchFolder folder;
  std::filesystem::path file;
  FakePointer pointer;
  clicker::ClickerForm form;
  FakeDesktop desktop;
};

std::string Bytes(const char* data, std::size_t size) { return std::string(data, size); }

// Bytes from a small fixed generator, none of them a line feed.
std::string BinaryWithoutLineFeeds(std::size_t size) {
  std::string bytes;
  std::uint32_t state = 12345;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    const char c = static_cast<char>(state >> 24);
    if (c != '\n') bytes.push_back(c);
  }
  return bytes;
}

struct HostileCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> says;  // parts the message must hold besides the file's name
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileFileRejected : public HostileFileTest,
                            public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFileRejected, StartUpFailsNamingTheFileAndTheProblem) {
  folder.Write(shared::kCoordinateFileName, GetParam().bytes);
  ExpectNamesTheFileAndSays(LoadFailure(), GetParam().says);
}

const std::string kLongerThan = "longer than " + std::to_string(shared::kMaxCoordinateLine);

INSTANTIATE_TEST_SUITE_P(
    Files, HostileFileRejected,
    ::testing::Values(
        HostileCase{"Empty", "", {"is empty"}},
        HostileCase{"OneLine", "0123\r\n", {"ends before its second line"}},
        // A PNG file's first bytes: its first "line" is \x89PNG.
        HostileCase{"BinaryFile",
                    Bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x02\x80", 20),
                    {"\"\\x89PNG\"", "first line", "not a whole number"}},
        HostileCase{"BinaryWithoutLineEnds", BinaryWithoutLineFeeds(4096), {kLongerThan}},
        // The NUL must not cut the message short: what follows it in the text, and the rest of
        // the message, are still there.
        HostileCase{"NulInsideANumber",
                    Bytes("01\0"
                          "23\r\n0456\r\n",
                          11),
                    {"\"01\\x0023\"", "first line", "Grab the point again"}},
        HostileCase{"NulsOnly", std::string(1000, '\0'), {kLongerThan}},
        // A byte-order mark is not stripped: the text is not a number, and the message shows why.
        HostileCase{"Utf8ByteOrderMark",
                    "\xEF\xBB\xBF"
                    "0123\r\n0456\r\n",
                    {"\"\\xEF\\xBB\\xBF0123\"", "first line"}},
        // A lone CR is text, so CR-only line ends make one long first line with no second.
        HostileCase{"LoneCrLineEnds", "0123\r0456\r", {"ends before its second line"}},
        HostileCase{
            "LoneCrInsideCrLfLines", "0123\r0456\r\n0789\r\n", {"\"0123\\x0D0456\"", "first line"}},
        HostileCase{"BeyondThirtyTwoBitsFirst",
                    "4294967296\r\n0456\r\n",
                    {"\"4294967296\"", "first line", "-2147483648 to 2147483647"}},
        HostileCase{"BeyondThirtyTwoBitsSecond",
                    "0123\r\n-2147483649\r\n",
                    {"\"-2147483649\"", "second line", "-2147483648 to 2147483647"}},
        HostileCase{"TwentyDigits",
                    "0123\r\n99999999999999999999\r\n",
                    {"\"99999999999999999999\"", "second line"}},
        // Found by fuzzing: a CR at the very end was kept without counting towards the limit.
        HostileCase{"SecondLineAtTheLimitThenCrAtTheEnd",
                    "0123\r\n" + std::string(shared::kMaxCoordinateLine, '0') + "\r",
                    {kLongerThan, "line 2"}},
        HostileCase{"LongTextIsShortenedInTheMessage",
                    std::string(200, '9') + "\r\n0456\r\n",
                    {"\"" + std::string(40, '9') + "...\"", "first line"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct AcceptedCase {
  const char* name;
  std::string bytes;
  std::string x;
  std::string y;
};

void PrintTo(const AcceptedCase& c, std::ostream* os) { *os << c.name; }

class HostileFileAccepted : public HostileFileTest,
                            public ::testing::WithParamInterface<AcceptedCase> {};

TEST_P(HostileFileAccepted, StartsWithTheTwoLines) {
  folder.Write(shared::kCoordinateFileName, GetParam().bytes);
  ASSERT_EQ(LoadFailure(), "no failure");
  ASSERT_TRUE(form.Watch());
  EXPECT_EQ(form.Watch()->TargetX, GetParam().x);
  EXPECT_EQ(form.Watch()->TargetY, GetParam().y);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileFileAccepted,
    ::testing::Values(AcceptedCase{"LoneLfLineEnds", "0123\n0456\n", "0123", "0456"},
                      AcceptedCase{"MixedLineEnds", "0123\r\n0456\n", "0123", "0456"},
                      AcceptedCase{"BinaryAfterTheSecondLine",
                                   Bytes("0123\r\n0456\r\n\0\xff\xfe\r\x1b", 17), "0123", "0456"},
                      AcceptedCase{
                          "LineOfExactlyTheLimit",
                          std::string(shared::kMaxCoordinateLine - 4, '0') + "0123\r\n0456",
                          std::string(shared::kMaxCoordinateLine - 4, '0') + "0123", "0456"}),
    [](const auto& info) { return std::string(info.param.name); });

// Found by fuzzing: a line that ends in a CR at the end of the file may hold no more than the
// limit, the CR counted, like any other line.
TEST(CoordinateReader, CrKeptAtTheEndOfTheFileCountsTowardsTheLimit) {
  ScratchFolder folder;
  const auto file = shared::CoordinateFilePath(folder.path());
  const std::string fits(shared::kMaxCoordinateLine - 1, '0');
  folder.Write(shared::kCoordinateFileName, "1\r\n" + fits + "\r");
  EXPECT_EQ(shared::ReadCoordinateFile(file), (shared::CoordinateTexts{"1", fits + "\r"}));

  folder.Write(shared::kCoordinateFileName, "1\r\n" + fits + "0\r");
  EXPECT_THROW(shared::ReadCoordinateFile(file), shared::RunFailure);
}

TEST_F(HostileFileTest, OneGibibyteLineFailsFastAfterReadingOneLinesWorth) {
  { std::ofstream(file, std::ios::binary).put('7'); }
  // Sparse: the zeros cost no disk and are never all read.
  std::filesystem::resize_file(file, std::uintmax_t{1} << 30);
  ASSERT_EQ(std::filesystem::file_size(file), std::uintmax_t{1} << 30);

  const auto start = std::chrono::steady_clock::now();
  ExpectNamesTheFileAndSays(LoadFailure(), {kLongerThan, "line 1"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // Read directly: the reader stops one character past the limit.
  bool missing = false;
  std::string reason;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(
      shared::OpenForReading(file, missing, reason), &std::fclose);
  ASSERT_TRUE(stream);
  EXPECT_THROW(shared::ReadCoordinates(stream.get(), "big"), shared::RunFailure);
  EXPECT_LE(std::ftell(stream.get()), static_cast<long>(shared::kMaxCoordinateLine + 1));
}

TEST_F(HostileFileTest, FolderNamedLikeTheFile) {
  std::filesystem::create_directory(file);
  ExpectNamesTheFileAndSays(LoadFailure(), {"is a folder"});
}

TEST_F(HostileFileTest, FileWithoutReadPermission) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no read permission std::filesystem can take away (only the "
                  "read-only attribute); ACLs are out of this test's reach";
#else
  if (geteuid() == 0) {
    GTEST_SKIP() << "root reads the file anyway; tests/faults runs this case as an unprivileged "
                    "user";
  }
  folder.Write(shared::kCoordinateFileName, "0123\r\n0456\r\n");
  std::filesystem::permissions(file, std::filesystem::perms::none);
  ExpectNamesTheFileAndSays(LoadFailure(), {"can't be opened", "Permission denied"});
#endif
}

#ifdef _WIN32
// A power cut between Windows' two renames leaves only the backup: Idlepress reads it, and says
// so, until a grab puts a file in place; then it goes. (The replace itself: replace_steps_test.)
TEST_F(HostileFileTest, BackupLeftAloneIsReadAndSaidSoUntilAGrab) {
  const std::string backup = "coordinates.dat.999999999-1.bak";
  folder.Write(backup, "0001\r\n0002\r\n");
  const auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(folder.path() / backup, hour_ago);
  ASSERT_EQ(LoadFailure(), "no failure");
  EXPECT_EQ(form.Watch()->TargetX + form.Watch()->TargetY, "00010002");
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_NE(desktop.messages[0].find(backup), std::string::npos) << desktop.messages[0];
  shared::WriteCoordinateFile(file, "0007", "0042");
  EXPECT_EQ(folder.Entries(), 1u) << "the backup was kept";
  shared::InPlaceStage reached{};
  EXPECT_EQ(shared::WriteInPlace(file, "1\r\n", reached), "");
  EXPECT_EQ(folder.Read("coordinates.dat"), "1\r\n") << "written in place, the rest cut";
}
#else
// A pipe in the file's place would block the start-up until something writes to it.
TEST_F(HostileFileTest, PipeNamedLikeTheFileFailsWithoutWaiting) {
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  auto load = std::async(std::launch::async, [this] { return LoadFailure(); });
  if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    // Opening and closing the other end gives the stuck reader an end of file, so the test ends.
    std::ofstream(file).close();
    load.wait();
    FAIL() << "the start-up waited on the pipe";
  }
  ExpectNamesTheFileAndSays(load.get(), {"not an ordinary file"});
}

TEST_F(HostileFileTest, DeviceNamedLikeTheFile) {
  std::filesystem::create_symlink("/dev/zero", file);
  ExpectNamesTheFileAndSays(LoadFailure(), {"not an ordinary file"});
}
#endif

TEST(ShownText, QuotesPrintableCharactersAndEscapesTheRest) {
  EXPECT_EQ(shared::ShownText("0123"), "\"0123\"");
  EXPECT_EQ(shared::ShownText(std::string("a\0b", 3)), "\"a\\x00b\"");
  EXPECT_EQ(shared::ShownText("\r\n\t\x7f\xff"), "\"\\x0D\\x0A\\x09\\x7F\\xFF\"");
  EXPECT_EQ(shared::ShownText("a\\x00"), "\"a\\\\x00\"");
  EXPECT_EQ(shared::ShownText("123456", 4), "\"1234...\"");
  EXPECT_EQ(shared::ShownText("1234", 4), "\"1234\"") << "exactly the limit is not cut";
  EXPECT_EQ(shared::ShownText(" ~"), "\" ~\"") << "the first and last printable bytes";
  EXPECT_EQ(shared::ShownText(""), "\"\"");
  EXPECT_EQ(shared::ShownText("\xD9\xA1\xD9\xA5 \xC3\x28 \xC2\x85"),
            "\"\xD9\xA1\xD9\xA5 \\xC3( \\xC2\\x85\"")
      << "typed digits as typed; a broken sequence and a C1 control escaped";
  EXPECT_EQ(shared::ShownText("12\xD9\xA1", 3), "\"12...\"") << "no character cut in two";
  EXPECT_EQ(shared::ShownText("\xE0\x80\xAF"), "\"\\xE0\\x80\\xAF\"") << "an overlong '/'";
  // A combining acute accent at the start; U+061C, U+00AD, U+034F, U+3164, U+FE0F, U+180E,
  // U+E0041 (a tag) and U+FFA0, which show nothing or change their neighbours; the accent on an e
  // and after an escape.
  EXPECT_EQ(shared::ShownText("\xCC\x81 \xD8\x9C \xC2\xAD \xCD\x8F \xE3\x85\xA4 \xEF\xB8\x8F "
                              "\xE1\xA0\x8E \xF3\xA0\x81\x81 \xEF\xBE\xA0 e\xCC\x81 \x01\xCC\x81",
                              100),
            "\"\\xCC\\x81 \\xD8\\x9C \\xC2\\xAD \\xCD\\x8F \\xE3\\x85\\xA4 \\xEF\\xB8\\x8F "
            "\\xE1\\xA0\\x8E \\xF3\\xA0\\x81\\x81 \\xEF\\xBE\\xA0 e\xCC\x81 \\x01\\xCC\\x81\"");
}

}  // namespace
