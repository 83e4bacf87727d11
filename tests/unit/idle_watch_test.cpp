#include "idle_watch.hpp"

#include <gtest/gtest.h>
#include "case_name.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "desktop_session.hpp"

#include "fake_pointer.hpp"
#include "module1a.hpp"
#include "run_failure.hpp"
#include "win32/primary_button.hpp"

namespace {

using shared::POINT;

constexpr POINT kTarget{123, 456};
constexpr POINT kRest{700, 300};

// Press places by tick number (ticks count from 1, the first tick one second after start-up).
using Timeline = std::map<int, std::vector<POINT>>;

// Runs `ticks` ticks. Before each, `script` may move the pointer, refuse reads or change the
// limit, as a user or the desktop would between two ticks.
Timeline RunTicks(clicker::IdleWatch& watch, FakePointer& pointer, int ticks,
                  const std::function<void(int tick)>& script) {
  Timeline presses;
  for (int tick = 1; tick <= ticks; ++tick) {
    script(tick);
    const std::size_t before = pointer.Presses().size();
    watch.Timer1_Timer();
    const std::vector<POINT> now = pointer.Presses();
    for (std::size_t i = before; i < now.size(); ++i) presses[tick].push_back(now[i]);
  }
  return presses;
}

// A full sequence starting on `tick`: the target twice on consecutive ticks, then the rest place.
void AddSequence(Timeline& timeline, int tick, POINT rest) {
  timeline[tick] = {kTarget};
  timeline[tick + 1] = {kTarget};
  timeline[tick + 2] = {rest};
}

// A desktop that tells its own idle time, as a Wayland compositor's idle monitor does: the
// milliseconds since the last input it saw, the user's or the watch's own clicks. Times are
// milliseconds from start-up: tick n asks at n * 1000 + 1 and clicks at n * 1000 + 2. It tells
// whether the session is locked too, as logind does.
class FakeDesktopIdle : public shared::DesktopIdleTime, public shared::SessionLock {
 public:
  std::optional<std::uint64_t> MillisecondsSinceInput() override {
    if (!answers) return std::nullopt;
    return static_cast<std::uint64_t>(now_ms - last_input_ms);
  }
  std::optional<bool> Locked() override { return answers ? std::optional(locked) : std::nullopt; }

  std::int64_t now_ms = 0;
  std::int64_t last_input_ms = -3'600'000;
  bool answers = true;
  bool locked = false;
};

struct Case {
  const char* name;
  std::int16_t limit;
  int ticks;
  std::function<void(int, FakePointer&, clicker::IdleWatch&)> script;
  std::function<Timeline()> expected;
  // Where set, the watch also asks a desktop for its idle time; this sets what the desktop saw
  // before each tick.
  std::function<void(int tick, FakeDesktopIdle&)> desktop = nullptr;
  // As in a native Wayland session: the desktop's idle time alone tells a still tick, and the
  // pointer is read only when a sequence starts.
  bool native = false;
  // How many times the pointer may be read in all; -1: not checked.
  int reads = -1;
};

class IdleWatchTimeline : public ::testing::TestWithParam<Case> {};

TEST_P(IdleWatchTimeline, ClicksOnTheExpectedTicks) {
  const Case& c = GetParam();
  FakePointer pointer;
  pointer.position = kRest;
  pointer.read_every_tick = !c.native;
  FakeDesktopIdle desktop;
  clicker::IdleWatch watch(pointer, "0123", "0456", c.desktop ? &desktop : nullptr,
                           c.desktop ? &desktop : nullptr);
  watch.SetIdleLimit(c.limit);
  std::size_t presses = 0;
  const Timeline actual = RunTicks(watch, pointer, c.ticks, [&](int tick) {
    if (pointer.Presses().size() != presses) desktop.last_input_ms = (tick - 1) * 1000 + 2;
    presses = pointer.Presses().size();
    desktop.now_ms = tick * 1000 + 1;
    c.script(tick, pointer, watch);
    if (c.desktop) c.desktop(tick, desktop);
  });
  EXPECT_EQ(actual, c.expected());
  if (!watch.Clicking) {
    EXPECT_EQ(watch.ClickStep, 0);
  }
  EXPECT_EQ(watch.DesktopIdleUnknown, c.desktop && !desktop.answers);
  EXPECT_EQ(watch.LockStateUnknown, c.desktop && !desktop.answers);
  if (c.reads >= 0) {
    EXPECT_EQ(std::count_if(pointer.calls.begin(), pointer.calls.end(),
                            [](const FakePointer::Call& call) { return call.kind == call.kGet; }),
              c.reads);
  }
}

const auto kNoInput = [](int, FakeDesktopIdle&) {};

const Case kCases[] = {
    {"StillPointerClicksOnTicks16And17AndReturnsOn18ThenEvery17", 15, 60,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       AddSequence(t, 16, kRest);
       AddSequence(t, 33, kRest);
       AddSequence(t, 50, kRest);
       return t;
     }},
    {"RestAtOriginCountsTheFirstTickAsStill", 15, 40,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       if (tick == 1) p.position = {0, 0};
     },
     [] {
       Timeline t;
       AddSequence(t, 15, {0, 0});
       AddSequence(t, 32, {0, 0});
       return t;
     }},
    {"OnePixelMoveRestartsTheCount", 15, 30,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       if (tick == 10) p.position = {kRest.x + 1, kRest.y};
     },
     [] {
       Timeline t;
       AddSequence(t, 25, {kRest.x + 1, kRest.y});
       return t;
     }},
    {"OnePixelVerticalMoveRestartsTheCount", 15, 32,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       if (tick == 15) p.position = {kRest.x, kRest.y - 1};
     },
     [] {
       Timeline t;
       AddSequence(t, 30, {kRest.x, kRest.y - 1});
       return t;
     }},
    {"LimitZeroClicksOnEachNewPositionOnly", 0, 40,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       if (tick == 20) p.position = {5, 6};
       if (tick == 30) p.position = {7, 8};  // with a button held: no sequence
       p.button_held = tick == 30;
     },
     [] {
       Timeline t;
       AddSequence(t, 1, kRest);
       AddSequence(t, 20, {5, 6});
       return t;
     }},
    {"NegativeLimitNeverClicks", -1, 200, [](int, FakePointer&, clicker::IdleWatch&) {},
     [] { return Timeline{}; }},
    {"LoweredLimitBelowTheCountWaitsForAMove", 15, 40,
     [](int tick, FakePointer& p, clicker::IdleWatch& w) {
       if (tick == 12) w.SetIdleLimit(5);  // the count stands at 10 by now
       if (tick == 25) p.position = {1, 2};
     },
     [] {
       Timeline t;
       AddSequence(t, 30, {1, 2});
       AddSequence(t, 37, {1, 2});
       return t;
     }},
    {"LimitChangedMidSequenceStillFinishesIt", 15, 30,
     [](int tick, FakePointer&, clicker::IdleWatch& w) {
       if (tick == 17) w.SetIdleLimit(3);  // after step 0, before step 1
     },
     [] {
       Timeline t;
       AddSequence(t, 16, kRest);
       AddSequence(t, 21, kRest);
       AddSequence(t, 26, kRest);
       return t;
     }},
    {"LimitSetToZeroMidSequenceFinishesAndStops", 15, 40,
     [](int tick, FakePointer&, clicker::IdleWatch& w) {
       if (tick == 18) w.SetIdleLimit(0);  // before step 2
     },
     [] {
       Timeline t;
       AddSequence(t, 16, kRest);
       return t;
     }},
    {"MovingDuringASequenceDoesNotStopItAndStep2ReturnsToTheRestPlace", 15, 20,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       if (tick == 18) p.position = {9, 9};  // the user moves just before step 2
     },
     [] {
       Timeline t;
       AddSequence(t, 16, kRest);
       return t;
     }},
    {"HeldButtonRestartsTheCountAndEndsASequenceWithoutAnotherClick", 15, 62,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       p.button_held = (tick >= 10 && tick <= 12) || tick == 45;  // 45: a sequence's step 1
     },
     [] {
       return Timeline{{27, {kTarget}}, {28, {kTarget}}, {29, {kRest}},  {44, {kTarget}},
                       {60, {kTarget}}, {61, {kTarget}}, {62, {kTarget}}};
     }},
    {"UnreadablePointerNeitherCountsNorMovesTheRestPlace", 15, 50,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       p.refuse_reads = tick >= 5 && tick <= 30;  // the desktop is locked meanwhile
     },
     [] {
       Timeline t;
       AddSequence(t, 45, kRest);  // the count starts over: ticks 31-45 are the 15 still ones
       return t;
     }},
    {"LockedSessionNeitherCountsNorClicksAndRestartsTheCount", 15, 80,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       // The lock on tick 17 ends the sequence, the pointer left on the target, which becomes
       // the resting place on tick 18; 18-19 count, 20-40 don't; 41-55 are the 15 still ones.
       t[16] = {kTarget};
       AddSequence(t, 55, kTarget);
       AddSequence(t, 72, kTarget);
       return t;
     },
     [](int tick, FakeDesktopIdle& d) { d.locked = tick == 17 || (tick >= 20 && tick <= 40); }},
    {"LockedFromTheStartClicksAFullLimitAfterTheUnlock", 15, 40,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       AddSequence(t, 35, kRest);  // 21-35 are the 15 still ones: the place was noted while locked
       return t;
     },
     [](int tick, FakeDesktopIdle& d) { d.locked = tick <= 20; }},
    {"LockedDesktopIsNotAPointerAtTheOrigin", 15, 100,
     [](int, FakePointer& p, clicker::IdleWatch&) { p.refuse_reads = true; },
     [] { return Timeline{}; }},
    {"DesktopInputWithAStillPointerNeitherCountsNorMovesTheRestPlace", 15, 50,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       AddSequence(t, 42, kRest);  // ticks 2-4 and 31-42 are the 15 still ones
       return t;
     },
     [](int tick, FakeDesktopIdle& d) {
       // The user works over a window where the X pointer isn't seen.
       if (tick >= 5 && tick <= 30) d.last_input_ms = tick * 1000 - 150;
     }},
    {"DesktopInputExactlyOneTickOldIsNotFromTheLastTick", 15, 20,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       AddSequence(t, 16, kRest);
       return t;
     },
     [](int, FakeDesktopIdle& d) { d.last_input_ms = d.now_ms - 1000; }},
    {"TheWatchsOwnClicksDoNotHoldTheNextSequenceBack", 15, 60,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       // The tick after each sequence hears of input 999 ms old: the return click's.
       Timeline t;
       AddSequence(t, 16, kRest);
       AddSequence(t, 33, kRest);
       AddSequence(t, 50, kRest);
       return t;
     },
     [](int, FakeDesktopIdle&) {}},
    {"UserInputRightAfterASequenceHoldsTheNextOneBack", 15, 60,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       AddSequence(t, 16, kRest);
       AddSequence(t, 34, kRest);  // tick 19 doesn't count
       AddSequence(t, 51, kRest);
       return t;
     },
     [](int tick, FakeDesktopIdle& d) {
       if (tick == 19) d.last_input_ms = tick * 1000 - 300;
     }},
    {"DesktopThatCantTellLeavesThePointerToDecide", 15, 40,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       AddSequence(t, 16, kRest);
       AddSequence(t, 33, kRest);
       return t;
     },
     [](int tick, FakeDesktopIdle& d) {
       d.answers = false;
       d.last_input_ms = tick * 1000 - 150;  // what it would have said
     }},
    {"RefusedMovesAndClicksLeaveTheSequenceGoing", 15, 40,
     [](int, FakePointer& p, clicker::IdleWatch&) { p.refuse_input = true; },
     [] {
       // The fake records each press where the pointer stayed, since no move was allowed.
       Timeline t;
       t[16] = {kRest};
       t[17] = {kRest};
       t[18] = {kRest};
       t[33] = {kRest};
       t[34] = {kRest};
       t[35] = {kRest};
       return t;
     }},
    // The native cases: no first sighting to make, so a still desktop clicks on tick 15, then
    // every 17 ticks as ever; the watch's own clicks don't count as input.
    {"NativeStillDesktopReadsThePointerOnlyWhenASequenceStarts", 15, 51,
     [](int tick, FakePointer& p, clicker::IdleWatch&) {
       if (tick == 20) p.position = {kRest.x + 9, kRest.y};  // where the first sequence left it
     },
     [] {
       Timeline t;
       AddSequence(t, 15, kRest);
       AddSequence(t, 32, {kRest.x + 9, kRest.y});
       AddSequence(t, 49, {kRest.x + 9, kRest.y});
       return t;
     },
     kNoInput, true, 3},
    {"NativeKeyPressRestartsTheCountThoughThePointerNeverMoved", 15, 40,
     [](int, FakePointer&, clicker::IdleWatch&) {},
     [] {
       Timeline t;
       AddSequence(t, 25, kRest);
       return t;
     },
     [](int tick, FakeDesktopIdle& d) {
       if (tick == 10) d.last_input_ms = tick * 1000 - 400;
     },
     true, 1},
    {"NativeTargetOnNoMonitorIsNeverClicked", 15, 40,
     [](int, FakePointer& p, clicker::IdleWatch&) { p.screen_width = 100; },
     [] { return Timeline{}; }, kNoInput, true, 0},
    {"NativeUnreadablePointerStartsNoSequence", 15, 40,
     [](int, FakePointer& p, clicker::IdleWatch&) { p.refuse_reads = true; },
     [] { return Timeline{}; }, kNoInput, true, 2},
    {"NativeDesktopThatCantTellClicksNothing", 0, 20, [](int, FakePointer&, clicker::IdleWatch&) {},
     [] { return Timeline{}; }, [](int, FakeDesktopIdle& d) { d.answers = false; }, true, 0},
};

INSTANTIATE_TEST_SUITE_P(Sequences, IdleWatchTimeline, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The tip tells why a due sequence didn't run, and says it no more once one does.
TEST(IdleWatch, NativeSequenceThatCantRunSaysWhy) {
  FakePointer pointer;
  pointer.read_every_tick = false;
  pointer.position = kRest;
  FakeDesktopIdle desktop;
  clicker::IdleWatch watch(pointer, "0123", "0456", &desktop, &desktop);
  watch.SetIdleLimit(1);
  pointer.screen_width = 100;
  watch.Timer1_Timer();
  EXPECT_TRUE(watch.TargetOffScreen);
  pointer.screen_width = 1000;
  pointer.refuse_reads = true;
  watch.Timer1_Timer();
  EXPECT_FALSE(watch.TargetOffScreen);
  EXPECT_TRUE(watch.RestPlaceUnknown);
  pointer.refuse_reads = false;
  watch.Timer1_Timer();
  EXPECT_FALSE(watch.RestPlaceUnknown);
  EXPECT_EQ(pointer.Presses(), std::vector<POINT>{kTarget});
}

// Natively the pointer is told of a sequence a tick before its first click, and told it is off
// when input comes first.
TEST(IdleWatch, NativeSequenceIsToldATickAheadAndCalledOffByInput) {
  FakePointer pointer;
  pointer.read_every_tick = false;
  FakeDesktopIdle desktop;
  clicker::IdleWatch watch(pointer, "0123", "0456", &desktop, &desktop);
  watch.SetIdleLimit(3);
  // Still, still, input: told on the second tick, called off on the third.
  for (const bool expected : {false, true, false}) {
    desktop.now_ms += 1000;
    if (!expected && desktop.now_ms == 3000) desktop.last_input_ms = desktop.now_ms - 10;
    watch.Timer1_Timer();
    EXPECT_EQ(pointer.in_sequence, expected) << desktop.now_ms;
  }
  for (int tick = 1; tick <= 3; ++tick) {
    desktop.now_ms += 1000;
    watch.Timer1_Timer();
  }
  EXPECT_EQ(pointer.sequences_begun, 2);
  EXPECT_EQ(pointer.Presses(), std::vector<POINT>{kTarget});
}

TEST(IdleWatch, StateAfterASequenceIsBackToWatching) {
  FakePointer pointer;
  pointer.position = kRest;
  clicker::IdleWatch watch(pointer, "0123", "0456");
  for (int tick = 1; tick <= 16; ++tick) watch.Timer1_Timer();
  EXPECT_TRUE(watch.Clicking);
  EXPECT_EQ(watch.IdleCount, 15);
  EXPECT_EQ(watch.ClickStep, 0);
  watch.Timer1_Timer();
  EXPECT_EQ(watch.ClickStep, 1);
  watch.Timer1_Timer();
  EXPECT_FALSE(watch.Clicking);
  EXPECT_EQ(watch.ClickStep, 0);
  EXPECT_EQ(watch.IdleCount, 0);
  EXPECT_EQ(watch.LastPos, kRest);
  EXPECT_EQ(pointer.position, kRest);
}

TEST(IdleWatch, EachClickIsMoveThenPressThenRelease) {
  FakePointer pointer;
  pointer.position = kRest;
  clicker::IdleWatch watch(pointer, "0123", "0456");
  watch.SetIdleLimit(1);
  watch.Timer1_Timer();  // notes the place
  pointer.calls.clear();
  watch.Timer1_Timer();  // step 0
  using C = FakePointer::Call;
  const std::vector<C> expected = {
      {C::kGet, kRest.x, kRest.y}, {C::kSet, 123, 456}, {C::kDown, 123, 456}, {C::kUp, 123, 456}};
  EXPECT_EQ(pointer.calls, expected);
}

// The flags ClickAt passes, as the Windows pointer hands them to user32 with the buttons as they
// are and swapped for the left hand.
TEST(PrimaryButton, LeftFlagsBecomeRightOnlyWhileTheButtonsAreSwapped) {
  using shared::win32::PrimaryButtonFlags;
  constexpr std::uint32_t kMove = 0x0001;  // a flag that is not a button's stays as it is
  const struct {
    std::uint32_t flags;
    bool swapped;
    std::uint32_t sent;
  } cases[] = {
      {shared::MOUSEEVENTF_LEFTDOWN, false, 0x0002},
      {shared::MOUSEEVENTF_LEFTUP, false, 0x0004},
      {shared::MOUSEEVENTF_LEFTDOWN, true, 0x0008},
      {shared::MOUSEEVENTF_LEFTUP, true, 0x0010},
      {kMove | shared::MOUSEEVENTF_LEFTDOWN, true, kMove | 0x0008},
      {kMove, true, kMove},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrimaryButtonFlags(c.flags, c.swapped), c.sent)
        << "flags " << c.flags << (c.swapped ? ", swapped" : ", not swapped");
  }
}

TEST(IdleWatch, CountStopsAtTheTopInsteadOfOverflowing) {
  // Zero and negative limits, and a limit lowered below the count, leave the count growing.
  const std::pair<std::int16_t, std::int16_t> limits[] = {{-5, -5}, {0, 0}, {10, 2}};
  for (const auto& [first_limit, later_limit] : limits) {
    FakePointer pointer;
    pointer.position = kRest;
    clicker::IdleWatch watch(pointer, "1", "1");
    watch.SetIdleLimit(first_limit);
    for (int tick = 0; tick < 6; ++tick) watch.Timer1_Timer();
    watch.SetIdleLimit(later_limit);
    const std::size_t presses = pointer.Presses().size();
    for (int tick = 0; tick < 40000; ++tick) watch.Timer1_Timer();  // over eleven hours
    EXPECT_EQ(watch.IdleCount, 32767) << "limit " << later_limit;
    EXPECT_FALSE(watch.Clicking);
    EXPECT_EQ(pointer.Presses().size(), presses) << "limit " << later_limit;
  }
}

struct TargetCase {
  const char* x;
  const char* y;
  POINT expected;
};

class IdleWatchTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(IdleWatchTarget, ConvertsTheTargetTextsAtTheClick) {
  FakePointer pointer;
  pointer.position = kRest;
  clicker::IdleWatch watch(pointer, GetParam().x, GetParam().y);
  watch.SetIdleLimit(0);
  watch.Timer1_Timer();
  ASSERT_EQ(pointer.Presses().size(), 1u);
  EXPECT_EQ(pointer.Presses()[0], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, IdleWatchTarget,
                         ::testing::Values(TargetCase{"0123", "0456", {123, 456}},
                                           TargetCase{"00-5", "0-42", {-5, -42}},
                                           TargetCase{"-1920", "10000", {-1920, 10000}},
                                           TargetCase{"0000", "0000", {0, 0}}),
                         [](const auto& info) {
                           return CaseName(info.param.x) + "_" + CaseName(info.param.y);
                         });

TEST(IdleWatch, TargetThatIsNotANumberFailsBeforeAnyClick) {
  for (const auto& [x, y] : {std::pair{"", ""}, std::pair{"12a", "5"}, std::pair{"5", " 6"}}) {
    FakePointer pointer;
    pointer.position = kRest;
    clicker::IdleWatch watch(pointer, x, y);
    watch.SetIdleLimit(0);
    EXPECT_THROW(watch.Timer1_Timer(), shared::RunFailure) << '"' << x << "\", \"" << y << '"';
    EXPECT_TRUE(pointer.Presses().empty());
  }
}

}  // namespace
