// The Linux windows' plain helpers: message wrapping, and the scale forms are drawn at.
#include "linux/wrapped_text.hpp"

#include <gtest/gtest.h>

#include "linux/display_scale.hpp"

#include <sstream>
#include <string>

namespace {

TEST(WrappedText, NoLinePassesTheWidthUnlessOneWordDoes) {
  const std::string message =
      "The coordinate file \"/home/someone/Downloads/a-rather-long-folder-name/with/more/"
      "coordinates.dat\" ends before its second line; it should hold the X and the Y coordinate.";
  const std::string wrapped = shared::WrappedText(message, 40);
  std::istringstream lines(wrapped);
  std::string line;
  std::string rejoined;
  while (std::getline(lines, line)) {
    if (line.find(' ') != std::string::npos) {
      EXPECT_LE(line.size(), 40u) << line;
    }
    EXPECT_NE(line.front(), ' ');
    rejoined += (rejoined.empty() ? "" : " ") + line;
  }
  EXPECT_EQ(rejoined, message) << "only spaces may turn into line breaks";
}

TEST(WrappedText, ShortTextsStayAsTheyAre) {
  EXPECT_EQ(shared::WrappedText("", 10), "");
  EXPECT_EQ(shared::WrappedText("Grab it", 10), "Grab it");
  EXPECT_EQ(shared::WrappedText("one two three", 7), "one two\nthree");
}

// Idlepress's 315-twip window and 12-point X, Sightrel's 3795-by-1455-twip window and 375-twip
// button, at the usual resolution, one and a half and twice it, and fractional settings.
TEST(DisplayScale, TwipsAndPointsBecomePixelsAtTheDisplaysResolution) {
  struct Row {
    const char* xft_dpi;
    int idlepress_client;
    int x_font;
    int sightrel_width;
    int sightrel_height;
    int button_height;
  };
  const Row rows[] = {
      {"", 21, 16, 253, 97, 25},  // unset: 96
      {"96", 21, 16, 253, 97, 25},
      {"144", 32, 24, 380, 146, 38},  // 31.5, 379.5, 145.5 and 37.5 round up
      {"192", 42, 32, 506, 194, 50},
      {"120.5", 26, 20, 318, 122, 31},   // 26.36, 20.08, 317.6, 121.8, 31.4
      {"110", 24, 18, 290, 111, 29},     // 24.06, 18.33, 289.9, 111.1, 28.6
      {" 192\t", 42, 32, 506, 194, 50},  // the blanks xrdb may leave
      {"big", 21, 16, 253, 97, 25},      // not a number: 96
      {"144x", 21, 16, 253, 97, 25},     // a number, then more: 96
      {"0", 21, 16, 253, 97, 25},        // no size to draw at: 96
  };
  for (const Row& row : rows) {
    const double dpi = shared::DotsPerInchFromResource(row.xft_dpi);
    EXPECT_EQ(shared::TwipsToPixels(315, dpi), row.idlepress_client) << row.xft_dpi;
    EXPECT_EQ(shared::PointsToPixels(12, dpi), row.x_font) << row.xft_dpi;
    EXPECT_EQ(shared::TwipsToPixels(3795, dpi), row.sightrel_width) << row.xft_dpi;
    EXPECT_EQ(shared::TwipsToPixels(1455, dpi), row.sightrel_height) << row.xft_dpi;
    EXPECT_EQ(shared::TwipsToPixels(375, dpi), row.button_height) << row.xft_dpi;
  }
}

}  // namespace
