#include "coordinate_text.hpp"

#include <gtest/gtest.h>
#include "case_name.hpp"

#include <optional>
#include <string>

namespace {

struct PadCase {
  std::string text;
  std::string padded;
};

class PadToFourTest : public ::testing::TestWithParam<PadCase> {};

TEST_P(PadToFourTest, PadsByCharacterCount) {
  EXPECT_EQ(shared::PadToFour(GetParam().text), GetParam().padded);
}

INSTANTIATE_TEST_SUITE_P(Texts, PadToFourTest,
                         ::testing::Values(PadCase{"", ""}, PadCase{"0", "0000"},
                                           PadCase{"7", "0007"}, PadCase{"42", "0042"},
                                           PadCase{"123", "0123"}, PadCase{"1234", "1234"},
                                           PadCase{"10000", "10000"}, PadCase{"-5", "00-5"},
                                           PadCase{"-42", "0-42"}, PadCase{"-123", "-123"},
                                           PadCase{"-1920", "-1920"}),
                         [](const auto& info) { return CaseName(info.param.text); });

struct ConvertCase {
  std::string text;
  std::optional<std::int32_t> value;
};

class ToCoordinateTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ToCoordinateTest, ConvertsOnlyDecimalCoordinates) {
  EXPECT_EQ(shared::ToCoordinate(GetParam().text), GetParam().value)
      << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Accepted, ToCoordinateTest,
                         ::testing::Values(ConvertCase{"0", 0}, ConvertCase{"0000", 0},
                                           ConvertCase{"0123", 123}, ConvertCase{"1234", 1234},
                                           ConvertCase{"10000", 10000}, ConvertCase{"-123", -123},
                                           ConvertCase{"00-5", -5}, ConvertCase{"0-42", -42},
                                           ConvertCase{"-0005", -5}, ConvertCase{"-0", 0},
                                           ConvertCase{"0-0", 0},
                                           ConvertCase{"2147483647", 2147483647},
                                           ConvertCase{"-2147483648", -2147483647 - 1},
                                           ConvertCase{"000000000000000000000000042", 42}),
                         [](const auto& info) { return CaseName(info.param.text); });

INSTANTIATE_TEST_SUITE_P(
    Rejected, ToCoordinateTest,
    ::testing::Values(ConvertCase{"", std::nullopt}, ConvertCase{"-", std::nullopt},
                      ConvertCase{"00-", std::nullopt}, ConvertCase{"--5", std::nullopt},
                      ConvertCase{"0--5", std::nullopt}, ConvertCase{"5-", std::nullopt},
                      ConvertCase{"1-5", std::nullopt}, ConvertCase{"+5", std::nullopt},
                      ConvertCase{" 5", std::nullopt}, ConvertCase{"5 ", std::nullopt},
                      ConvertCase{"12a", std::nullopt}, ConvertCase{"1.5", std::nullopt},
                      ConvertCase{"0x10", std::nullopt}, ConvertCase{"5\r", std::nullopt},
                      ConvertCase{"2147483648", std::nullopt},
                      ConvertCase{"-2147483649", std::nullopt},
                      ConvertCase{"99999999999999999999", std::nullopt},
                      ConvertCase{std::string("1\0", 2), std::nullopt}),
    [](const auto& info) { return CaseName(info.param.text); });

TEST(CoordinateText, EveryPaddedScreenCoordinateConvertsBack) {
  for (std::int32_t value = -5000; value <= 20000; ++value) {
    const std::string shown = shared::PadToFour(std::to_string(value));
    ASSERT_EQ(shared::ToCoordinate(shown), value) << shown;
  }
}

}  // namespace
