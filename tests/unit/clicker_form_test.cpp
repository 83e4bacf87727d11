#include "clicker_form.hpp"

#include <gtest/gtest.h>
#include "case_name.hpp"

#include <tuple>
#include <utility>

#include "fake_desktop.hpp"
#include "fake_pointer.hpp"
#include "run_failure.hpp"
#include "scratch_folder.hpp"

namespace {

class ClickerFormTest : public ::testing::Test {
 protected:
  ClickerFormTest() : form(pointer, folder.path()), desktop(form.Layout()) {
    pointer.position = {700, 300};
  }

  // Runs ticks and returns how many presses they made.
  std::size_t Ticks(int count) {
    const std::size_t before = pointer.Presses().size();
    for (int i = 0; i < count; ++i) form.Timer1_Timer(desktop);
    return pointer.Presses().size() - before;
  }

  std::string LoadFailure() {
    try {
      form.Form_Load(desktop);
    } catch (const shared::RunFailure& failure) {
      return failure.what();
    }
    return "no failure";
  }

  ScratchFolder folder;
  FakePointer pointer;
  clicker::ClickerForm form;
  FakeDesktop desktop;
};

TEST_F(ClickerFormTest, LoadReadsTheTargetAndParksInTheCorner) {
  folder.Write("coordinates.dat", "0123\r\n0456\r\n");
  form.Form_Load(desktop);
  ASSERT_TRUE(form.Watch());
  EXPECT_EQ(form.Watch()->TargetX, "0123");
  EXPECT_EQ(form.Watch()->TargetY, "0456");
  EXPECT_EQ(desktop.moves, (std::vector<FakeDesktop::Place>{{0, 0}}));
  EXPECT_EQ(form.Watch()->IdleLimit, 15);
  // X, then Y; in seconds, the users' word; the last line warns off resting on the X (the tip
  // shows only then); no Wayland notice in an X11 session.
  EXPECT_EQ(desktop.tooltips["Label1"],
            "Idlepress clicks 0123, 0456 when the pointer rests.\nLeft press: quit.\nRight press: "
            "set how many still seconds start the clicks.\nStill for 0 of 15 seconds.\nMove off "
            "the X: a pointer left here is clicked at the end of the next round of clicks, and "
            "that quits Idlepress.");
}

TEST(ClickerFormInWayland, TheTipSaysWhereThePointerIsSeen) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "1\r\n2\r\n");
  FakePointer pointer;
  shared::DesktopSession session;
  session.wayland = true;
  clicker::ClickerForm form(pointer, folder.path(), std::move(session));
  FakeDesktop desktop(form.Layout());
  form.Form_Load(desktop);
  EXPECT_NE(desktop.tooltips["Label1"].find(clicker::kWaylandNotice), std::string::npos);
}

// Natively, the tip names the route and what the watch couldn't do, not Xwayland's limits.
TEST(ClickerFormInWayland, TheTipSaysHowNativeWindowsAreReached) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "5000\r\n2\r\n");
  FakePointer pointer;
  pointer.read_every_tick = false;
  pointer.screen_width = 1280;
  pointer.route = "Native windows are clicked.";
  struct NoInputSinceStart : shared::DesktopIdleTime {
    std::optional<std::uint64_t> MillisecondsSinceInput() override { return 3'600'000; }
  };
  shared::DesktopSession session;
  session.idle_time = std::make_unique<NoInputSinceStart>();
  clicker::ClickerForm form(pointer, folder.path(), std::move(session));
  FakeDesktop desktop(form.Layout());
  form.Form_Load(desktop);
  for (int tick = 0; tick < 15; ++tick) form.Timer1_Timer(desktop);
  const std::string& tip = desktop.tooltips["Label1"];
  EXPECT_EQ(tip.find(clicker::kWaylandNotice), std::string::npos);
  EXPECT_NE(tip.find("Native windows are clicked."), std::string::npos);
  EXPECT_NE(tip.find("The saved point lies on no monitor"), std::string::npos) << tip;
}

TEST_F(ClickerFormTest, TheTipSaysWhenTheWindowInFrontKeepsTheButtonsAway) {
  folder.Write("coordinates.dat", "1\r\n2\r\n");
  form.Form_Load(desktop);
  const std::string why = "run as administrator, or by another account";
  pointer.out_of_reach = true;
  EXPECT_EQ(Ticks(20), 0u);
  EXPECT_NE(desktop.tooltips["Label1"].find(why), std::string::npos);
  pointer.out_of_reach = false;
  pointer.button_held = true;  // the user's own press: nothing to explain
  Ticks(1);
  EXPECT_EQ(desktop.tooltips["Label1"].find(why), std::string::npos);
}

TEST_F(ClickerFormTest, TheWindowIsATinyTopmostSquareThatTicksOnceASecond) {
  const shared::FormLayout& layout = form.Layout();
  EXPECT_EQ(layout.caption, "Idlepress");
  EXPECT_EQ(layout.timer_interval_ms, 1000);
  EXPECT_EQ(std::pair(layout.client_width, layout.client_height), std::pair(315, 315));
  EXPECT_TRUE(layout.always_on_top);
  EXPECT_FALSE(layout.close_on_escape) << "a stray Escape must not end the clicker";
  ASSERT_EQ(layout.controls.size(), 1u);
  const shared::ControlLayout& x = layout.controls[0];
  EXPECT_EQ(x.text, " X");
  // The X covers the whole client area and more: place and size in twips.
  EXPECT_EQ(std::tuple(x.name, x.kind, x.left, x.top, x.width, x.height, x.tab_index),
            std::tuple("Label1", shared::ControlKind::kLabel, 0, 0, 375, 375, 0));
  ASSERT_TRUE(x.font);
  EXPECT_EQ(std::tuple(x.font->face, x.font->points, x.font->weight),
            std::tuple("MS Sans Serif", 12, 700));
}

TEST_F(ClickerFormTest, MissingFileFailsBeforeTheWindowMoves) {
  const std::string message = LoadFailure();
  EXPECT_NE(message.find("coordinates.dat"), std::string::npos) << message;
  EXPECT_NE(message.find("does not exist"), std::string::npos) << message;
  EXPECT_TRUE(desktop.moves.empty());
}

TEST_F(ClickerFormTest, TargetThatIsNotANumberFailsAtStartUpNamingTheLine) {
  for (const auto& [bytes, line] :
       {std::pair{"abc\r\n0456\r\n", "first"}, std::pair{"0123\r\n\r\n", "second"},
        std::pair{"0123\r\n4 5\r\n", "second"}}) {
    folder.Write("coordinates.dat", bytes);
    const std::string message = LoadFailure();
    EXPECT_NE(message.find("coordinates.dat"), std::string::npos) << message;
    EXPECT_NE(message.find(line), std::string::npos) << message;
  }
  EXPECT_TRUE(desktop.moves.empty());
}

TEST_F(ClickerFormTest, LeftPressEndsAndMiddlePressDoesNothing) {
  folder.Write("coordinates.dat", "1\r\n2\r\n");
  form.Form_Load(desktop);
  form.MouseDown("Label1", shared::kMiddleButton, desktop);
  EXPECT_FALSE(desktop.ended);
  EXPECT_TRUE(desktop.prompts.empty());
  form.MouseDown("Label1", shared::kLeftButton, desktop);
  EXPECT_TRUE(desktop.ended);
}

TEST_F(ClickerFormTest, RightPressAsksHowLong) {
  folder.Write("coordinates.dat", "1\r\n2\r\n");
  form.Form_Load(desktop);
  desktop.answers = {"2"};
  form.MouseDown("Label1", shared::kRightButton, desktop);
  EXPECT_EQ(desktop.prompts, (std::vector<std::string>{"How long: Enter the interval"}));
  EXPECT_EQ(form.Watch()->IdleLimit, 2);
  EXPECT_FALSE(desktop.ended);
}

struct PromptCase {
  const char* answer;
  std::int16_t limit;
  const char* told;  // what the user is told when the entry was not taken
};

constexpr const char* kNotANumber =
    "How long: \"abc\" is not a number. Enter a number from -32768 to 32767; decimals are rounded "
    "down (7.9 gives 7). The interval stays at 15 seconds.";
constexpr const char* kOutOfRange =
    "How long: \"40000\" is outside -32768 to 32767. The interval stays at 15 seconds.";
constexpr const char* kOutOfRange2 =
    "How long: \"-32769\" is outside -32768 to 32767. The interval stays at 15 seconds.";

class ClickerPromptTest : public ClickerFormTest,
                          public ::testing::WithParamInterface<PromptCase> {};

TEST_P(ClickerPromptTest, SetsTheLimitOrKeepsItAndGoesOn) {
  folder.Write("coordinates.dat", "1\r\n2\r\n");
  form.Form_Load(desktop);
  desktop.answers = {GetParam().answer};
  form.MouseDown("Label1", shared::kRightButton, desktop);
  EXPECT_EQ(form.Watch()->IdleLimit, GetParam().limit);
  EXPECT_EQ(desktop.messages, (*GetParam().told ? std::vector<std::string>{GetParam().told}
                                                : std::vector<std::string>{}));
  EXPECT_FALSE(desktop.ended);
}

INSTANTIATE_TEST_SUITE_P(Answers, ClickerPromptTest,
                         ::testing::Values(PromptCase{"20", 20, ""}, PromptCase{"7.9", 7, ""},
                                           PromptCase{"-2.5", -3, ""}, PromptCase{"", 15, ""},
                                           PromptCase{"abc", 15, kNotANumber},
                                           PromptCase{"40000", 15, kOutOfRange},
                                           PromptCase{"-32769", 15, kOutOfRange2}),
                         [](const auto& info) { return CaseName(info.param.answer); });

TEST_F(ClickerFormTest, NewLimitTakesEffectFromTheNextTick) {
  folder.Write("coordinates.dat", "0123\r\n0456\r\n");
  form.Form_Load(desktop);
  EXPECT_EQ(Ticks(5), 0u);  // the count stands at 4
  desktop.answers = {"2"};
  form.MouseDown("Label1", shared::kRightButton, desktop);
  EXPECT_NE(desktop.tooltips["Label1"].find("4 of 2 seconds"), std::string::npos)
      << desktop.tooltips["Label1"];
  EXPECT_EQ(Ticks(30), 0u) << "a limit below the count waits for the pointer to move";
  pointer.position = {701, 300};
  EXPECT_EQ(Ticks(2), 0u);  // the move, then one still tick
  ASSERT_EQ(Ticks(1), 1u);  // second still tick: the target
  EXPECT_EQ(pointer.Presses().back(), (shared::POINT{123, 456}));
  ASSERT_EQ(Ticks(2), 2u);
  EXPECT_EQ(pointer.Presses().back(), (shared::POINT{701, 300}));
  EXPECT_EQ(Ticks(1), 0u);
  EXPECT_EQ(Ticks(1), 1u) << "the next sequence comes two still ticks after the last";
}

TEST_F(ClickerFormTest, ABadEntryDoesNotStopTheClicking) {
  folder.Write("coordinates.dat", "0123\r\n0456\r\n");
  form.Form_Load(desktop);
  EXPECT_EQ(Ticks(10), 0u);
  desktop.answers = {"ten"};
  form.MouseDown("Label1", shared::kRightButton, desktop);
  EXPECT_EQ(Ticks(6), 1u);  // tick 16 clicks the target as if nothing had happened
  EXPECT_EQ(Ticks(2), 2u);
}

}  // namespace
