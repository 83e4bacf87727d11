#include "capture_form.hpp"

#include <gtest/gtest.h>
#include "case_name.hpp"

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "fake_desktop.hpp"
#include "fake_pointer.hpp"
#include "run_failure.hpp"
#include "scratch_folder.hpp"

namespace {

class CaptureFormTest : public ::testing::Test {
 protected:
  CaptureFormTest() : form(pointer, folder.path()), desktop(form.Layout()) {}

  std::pair<std::string, std::string> Shown() const {
    return {desktop.Text("Label2"), desktop.Text("Label4")};
  }

  ScratchFolder folder;
  FakePointer pointer;
  capture::CaptureForm form;
  FakeDesktop desktop;
};

TEST_F(CaptureFormTest, ShowsThePositionAsSoonAsTheWindowOpens) {
  pointer.position = {7, 42};
  form.Form_Load(desktop);
  EXPECT_EQ(Shown(), (std::pair<std::string, std::string>{"0007", "0042"}));
  EXPECT_EQ(desktop.tooltips["Command1"],
            "Rest the pointer on the point to click and press Enter. A click on this button saves "
            "the button's own position.");
}

struct ShowCase {
  shared::POINT position;
  const char* x;
  const char* y;
};

class CaptureShowTest : public CaptureFormTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(CaptureShowTest, EachTickShowsThePaddedPosition) {
  form.Form_Load(desktop);
  pointer.position = GetParam().position;
  form.Timer1_Timer(desktop);
  EXPECT_EQ(Shown(), (std::pair<std::string, std::string>{GetParam().x, GetParam().y}));
}

INSTANTIATE_TEST_SUITE_P(Positions, CaptureShowTest,
                         ::testing::Values(ShowCase{{7, 42}, "0007", "0042"},
                                           ShowCase{{1234, 5}, "1234", "0005"},
                                           ShowCase{{0, 0}, "0000", "0000"},
                                           ShowCase{{10000, 123456}, "10000", "123456"},
                                           ShowCase{{-5, -42}, "00-5", "0-42"},
                                           ShowCase{{-123, -1920}, "-123", "-1920"}),
                         [](const auto& info) {
                           return CaseName(info.param.x) + "_" + CaseName(info.param.y);
                         });

TEST_F(CaptureFormTest, UnreadablePointerKeepsTheLastPositionShown) {
  pointer.position = {300, 200};
  form.Form_Load(desktop);
  pointer.refuse_reads = true;
  form.Timer1_Timer(desktop);
  EXPECT_EQ(Shown(), (std::pair<std::string, std::string>{"0300", "0200"}));
}

TEST_F(CaptureFormTest, UnreadablePointerFromTheStartShowsZeros) {
  pointer.refuse_reads = true;
  form.Form_Load(desktop);
  EXPECT_EQ(Shown(), (std::pair<std::string, std::string>{"0000", "0000"}));
}

TEST_F(CaptureFormTest, GrabWritesWhatTheLastTickShowedAndEnds) {
  folder.Write("coordinates.dat", "0001\r\n0002\r\n0003\r\n");
  pointer.position = {1234, 5};
  form.Form_Load(desktop);
  pointer.position = {600, 600};  // on its way to the button; no tick since
  form.Click("Command1", desktop);
  EXPECT_EQ(folder.Read("coordinates.dat"), "1234\r\n0005\r\n");
  EXPECT_TRUE(desktop.ended);
}

TEST_F(CaptureFormTest, GrabOfNegativeCoordinatesRoundTripsThroughTheFile) {
  pointer.position = {-5, -42};
  form.Form_Load(desktop);
  form.Click("Command1", desktop);
  EXPECT_EQ(folder.Read("coordinates.dat"), "00-5\r\n0-42\r\n");
}

TEST_F(CaptureFormTest, GrabThatCantWriteFailsAndLeavesTheOldFile) {
  // A folder standing in the file's place: the rename over it fails.
  std::filesystem::create_directories(folder.path() / "coordinates.dat" / "keep");
  pointer.position = {9, 9};
  form.Form_Load(desktop);
  EXPECT_THROW(form.Click("Command1", desktop), shared::RunFailure);
  EXPECT_FALSE(desktop.ended);
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "coordinates.dat" / "keep"));
}

TEST_F(CaptureFormTest, GrabNeverWritesTextsTheClickerCantUse) {
  folder.Write("coordinates.dat", "0001\r\n0002\r\n");
  form.Form_Load(desktop);
  desktop.texts["Label2"] = "";
  EXPECT_THROW(form.Click("Command1", desktop), shared::RunFailure);
  EXPECT_EQ(folder.Read("coordinates.dat"), "0001\r\n0002\r\n");
}

TEST_F(CaptureFormTest, ButtonHoldsTheFocusAndTheLayoutIsTheStoredOne) {
  const shared::FormLayout& layout = form.Layout();
  EXPECT_EQ(layout.caption, "Mouse Position");
  EXPECT_EQ(layout.timer_interval_ms, 100);
  EXPECT_TRUE(layout.close_on_escape) << "closing without a grab loses nothing";
  const auto first =
      std::min_element(layout.controls.begin(), layout.controls.end(),
                       [](const auto& a, const auto& b) { return a.tab_index < b.tab_index; });
  EXPECT_EQ(first->name, "Command1");
  EXPECT_EQ(first->text, "Grab It");
  EXPECT_EQ(first->kind, shared::ControlKind::kPushButton);
  EXPECT_EQ(layout.controls.size(), 5u);
}

struct ControlCase {
  const char* name;
  shared::ControlKind kind;
  const char* text;
  int left, top, width, height, tab_index;  // twips
};

class CaptureControlTest : public CaptureFormTest,
                           public ::testing::WithParamInterface<ControlCase> {};

TEST_P(CaptureControlTest, StandsWhereTheFormPlacesIt) {
  const auto& controls = form.Layout().controls;
  const ControlCase& want = GetParam();
  const auto found = std::find_if(controls.begin(), controls.end(),
                                  [&](const auto& control) { return control.name == want.name; });
  ASSERT_NE(found, controls.end());
  EXPECT_EQ(std::tuple(found->kind, found->text, found->left, found->top, found->width,
                       found->height, found->tab_index),
            std::tuple(want.kind, want.text, want.left, want.top, want.width, want.height,
                       want.tab_index));
  // No font of its own: the forms' 8-point regular face.
  EXPECT_FALSE(found->font);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, CaptureControlTest,
    ::testing::Values(
        ControlCase{"Command1", shared::ControlKind::kPushButton, "Grab It", 1080, 960, 1575, 375,
                    0},
        ControlCase{"Label1", shared::ControlKind::kLabel, "X", 240, 480, 255, 255, 1},
        ControlCase{"Label2", shared::ControlKind::kLabel, "", 600, 480, 1215, 255, 2},
        ControlCase{"Label3", shared::ControlKind::kLabel, "Y", 1920, 480, 255, 255, 3},
        ControlCase{"Label4", shared::ControlKind::kLabel, "", 2280, 480, 1215, 255, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureFormTest, AFailureIsToldInItsOwnWordsAnythingElseAsUnexpected) {
  const auto told = [](const auto& thrown) {
    try {
      throw thrown;
    } catch (...) {
      return shared::CaughtFailureText();
    }
  };
  EXPECT_EQ(told(shared::RunFailure("The file is gone.")), "The file is gone.");
  EXPECT_EQ(told(std::length_error("vector")),
            "The program stopped on an unexpected error: vector.");
  EXPECT_EQ(told(42), "The program stopped on an unexpected error.");
}

}  // namespace
