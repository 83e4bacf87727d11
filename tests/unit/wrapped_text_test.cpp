#include "linux/wrapped_text.hpp"

#include <gtest/gtest.h>

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

}  // namespace
