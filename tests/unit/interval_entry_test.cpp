#include "interval_entry.hpp"

#include <gtest/gtest.h>
#include "case_name.hpp"

#include <algorithm>
#include <string>

namespace {

using clicker::IntervalEntry;
using Kind = clicker::IntervalEntry::Kind;

struct EntryCase {
  std::string text;
  Kind kind;
  std::int16_t limit;
};

class IntervalEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(IntervalEntryTest, GivesTheFloorOrSaysWhy) {
  const IntervalEntry entry = clicker::ParseIntervalEntry(GetParam().text);
  EXPECT_EQ(entry.kind, GetParam().kind) << '"' << GetParam().text << '"';
  if (GetParam().kind == Kind::kLimit) {
    EXPECT_EQ(entry.limit, GetParam().limit);
  }
  if (GetParam().kind == Kind::kInvalid) {
    EXPECT_FALSE(entry.problem.empty());
    // The entry is quoted with its control bytes escaped: a NUL must not cut the message short.
    EXPECT_EQ(std::count_if(entry.problem.begin(), entry.problem.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; }),
              0)
        << entry.problem;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntervalEntryTest,
    ::testing::Values(
        EntryCase{"", Kind::kKeep, 0}, EntryCase{"20", Kind::kLimit, 20},
        EntryCase{"2", Kind::kLimit, 2}, EntryCase{"0", Kind::kLimit, 0},
        EntryCase{"7.9", Kind::kLimit, 7}, EntryCase{"-2.5", Kind::kLimit, -3},
        EntryCase{"-2.0", Kind::kLimit, -2}, EntryCase{"-0.1", Kind::kLimit, -1},
        EntryCase{"-0", Kind::kLimit, 0}, EntryCase{".5", Kind::kLimit, 0},
        EntryCase{"3.", Kind::kLimit, 3}, EntryCase{"+4", Kind::kLimit, 4},
        EntryCase{" 15 ", Kind::kLimit, 15}, EntryCase{"\t15\t", Kind::kLimit, 15},
        EntryCase{"007", Kind::kLimit, 7}, EntryCase{"32767", Kind::kLimit, 32767},
        EntryCase{"32767.99", Kind::kLimit, 32767}, EntryCase{"-32768", Kind::kLimit, -32768},
        EntryCase{"-32767.5", Kind::kLimit, -32768}, EntryCase{"32768", Kind::kInvalid, 0},
        EntryCase{"-32768.5", Kind::kInvalid, 0}, EntryCase{"-32769", Kind::kInvalid, 0},
        EntryCase{"100000", Kind::kInvalid, 0}, EntryCase{"-0.10", Kind::kLimit, -1},
        EntryCase{"99999999999999999999999", Kind::kInvalid, 0},
        EntryCase{"abc", Kind::kInvalid, 0}, EntryCase{" ", Kind::kInvalid, 0},
        EntryCase{"-", Kind::kInvalid, 0}, EntryCase{".", Kind::kInvalid, 0},
        EntryCase{"1.2.3", Kind::kInvalid, 0}, EntryCase{"1e3", Kind::kInvalid, 0},
        EntryCase{"5 5", Kind::kInvalid, 0}, EntryCase{"--5", Kind::kInvalid, 0},
        EntryCase{"0x10", Kind::kInvalid, 0}, EntryCase{"1,5", Kind::kInvalid, 0},
        EntryCase{std::string("5\0", 2), Kind::kInvalid, 0}),
    [](const auto& info) { return CaseName(info.param.text); });

}  // namespace
