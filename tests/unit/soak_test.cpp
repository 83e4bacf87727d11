// A day of the idle watch: 86 400 one-second ticks on the fake pointer under scripts of moves,
// limit changes, unreadable stretches and refused input. The recorded pointer calls are then
// checked by a reader of its own, which knows the click sequence's shape and the resting rule
// but nothing of the watch's fields.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "clicker_form.hpp"
#include "fake_desktop.hpp"
#include "fake_pointer.hpp"
#include "idle_watch.hpp"
#include "scratch_folder.hpp"

namespace {

using shared::POINT;
using Call = FakePointer::Call;

constexpr int kDay = 24 * 60 * 60;
constexpr POINT kTarget{123, 456};
constexpr POINT kStart{700, 300};

// What happened on one tick, as the test saw it from outside the watch.
struct TickRecord {
  std::size_t first_call;  // index of the tick's first pointer call
  bool read_ok;            // the pointer could be read during this tick
  bool input_ok;           // moves and clicks were let through during this tick
};

struct DayLog {
  std::vector<TickRecord> ticks;  // ticks[0] is tick 1
  std::vector<Call> calls;
  std::string out_of_range;  // the first tick that left a field of the watch out of its range
};

// Called before each tick, as the user or the desktop would act between two ticks.
using Script = std::function<void(int tick, FakePointer&, clicker::IdleWatch&)>;

// A place of its own for each tick, far from the target.
POINT PlaceFor(int tick) { return {1000 + tick % 1000, 2000 + tick / 1000}; }

// Runs a day of ticks: before each, `before_tick`; then `tick_once`, which ticks `watch`.
DayLog RunDay(const std::function<void(int tick)>& before_tick,
              const std::function<void()>& tick_once, FakePointer& pointer,
              const clicker::IdleWatch& watch) {
  DayLog log;
  log.ticks.reserve(kDay);
  for (int tick = 1; tick <= kDay; ++tick) {
    before_tick(tick);
    log.ticks.push_back({pointer.calls.size(), !pointer.refuse_reads, !pointer.refuse_input});
    tick_once();
    // An overflow past 32767 would show as a negative count.
    const bool in_range = watch.IdleCount >= 0 && watch.ClickStep >= 0 && watch.ClickStep <= 2;
    if (!in_range && log.out_of_range.empty()) {
      log.out_of_range = "tick " + std::to_string(tick) + ": IdleCount " +
                         std::to_string(watch.IdleCount) + ", ClickStep " +
                         std::to_string(watch.ClickStep);
    }
  }
  log.calls = std::move(pointer.calls);
  return log;
}

struct Verdict {
  int sequences = 0;  // started, the last one perhaps cut short by the end of the day
  std::vector<std::string> problems;

  void Problem(int tick, const std::string& what) {
    if (problems.size() < 10) problems.push_back("tick " + std::to_string(tick) + ": " + what);
  }
};

std::string Text(POINT p) {
  std::string text = "(";  // built up: g++ 12 warns falsely (-Wrestrict) on "(" + to_string(...)
  text += std::to_string(p.x);
  text += ", ";
  text += std::to_string(p.y);
  return text + ")";
}

// Reads the day's calls. Each tick reads the pointer once and makes at most one click: a move
// then a press and a release where the pointer is. Clicks come only as sequences: the target on
// one tick, the target again on the next, then on the next the place the pointer rested when
// the sequence began. With a `constant_limit` it also checks when sequences begin: as soon as
// the pointer has been read at one place `limit` times in a row after the place it rested on
// (for 0: as soon as it is read somewhere new); never for a negative limit. An unreadable tick
// (a locked desktop) starts the count again at the rest place and ends a sequence under way;
// otherwise the pointer is not watched while a sequence runs.
Verdict Check(const DayLog& log, std::optional<std::int16_t> constant_limit) {
  Verdict verdict;
  const int ticks = static_cast<int>(log.ticks.size());
  std::vector<std::optional<POINT>> reading(ticks + 1);
  std::vector<std::optional<POINT>> click(ticks + 1);  // where each tick's click was aimed

  for (int tick = 1; tick <= ticks; ++tick) {
    const TickRecord& record = log.ticks[tick - 1];
    const std::size_t end = tick < ticks ? log.ticks[tick].first_call : log.calls.size();
    const std::size_t count = end - record.first_call;
    const Call* calls = log.calls.data() + record.first_call;
    if (count == 0 || calls[0].kind != Call::kGet) {
      verdict.Problem(tick, "the pointer was not read first");
      continue;
    }
    if (record.read_ok) reading[tick] = POINT{calls[0].x, calls[0].y};
    if (count == 1) continue;
    if (count != 4 || calls[1].kind != Call::kSet || calls[2].kind != Call::kDown ||
        calls[3].kind != Call::kUp) {
      verdict.Problem(tick, "calls other than one read and one click");
      continue;
    }
    const POINT aimed{calls[1].x, calls[1].y};
    if (record.input_ok &&
        (POINT{calls[2].x, calls[2].y} != aimed || POINT{calls[3].x, calls[3].y} != aimed)) {
      verdict.Problem(tick, "the press or release was not where the pointer was moved");
    }
    click[tick] = aimed;
  }

  // The click sequences.
  std::vector<bool> sequence_starts(ticks + 1, false);
  std::vector<int> sequence_last_step(ticks + 1, 2);  // 1 or 2 where an unreadable tick ended it
  for (int tick = 1; tick <= ticks; ++tick) {
    if (!click[tick]) continue;
    if (*click[tick] != kTarget) {
      verdict.Problem(tick, "a click on " + Text(*click[tick]) + " outside a sequence");
      continue;
    }
    ++verdict.sequences;
    sequence_starts[tick] = true;
    if (!reading[tick]) {
      verdict.Problem(tick, "a sequence began on a tick the pointer couldn't be read");
      continue;
    }
    const POINT expected[] = {kTarget, *reading[tick]};
    for (int step = 1; step <= 2 && tick + step <= ticks; ++step) {
      const std::optional<POINT>& next = click[tick + step];
      if (!log.ticks[tick + step - 1].read_ok) {
        if (next) verdict.Problem(tick + step, "a sequence clicked on past a lock");
        sequence_last_step[tick] = step;
        break;
      }
      if (next != expected[step - 1]) {
        verdict.Problem(tick + step, "step " + std::to_string(step) + " clicked " +
                                         (next ? Text(*next) : "nothing") + ", not " +
                                         Text(expected[step - 1]));
      }
    }
    tick += sequence_last_step[tick];
  }

  if (!constant_limit) return verdict;
  const int limit = *constant_limit;
  // The places read since the last rest place; `run` counts the trailing equal ones, the rest
  // place (or the origin at start-up, where the watch begins) included.
  POINT last{0, 0};
  int run = 1;
  for (int tick = 1; tick <= ticks; ++tick) {
    if (!reading[tick]) {
      run = 1;
      continue;
    }
    run = *reading[tick] == last ? run + 1 : 1;
    last = *reading[tick];
    const bool due = limit >= 0 && (limit == 0 ? run == 1 : run == limit + 1);
    if (due != sequence_starts[tick]) {
      verdict.Problem(tick, std::string(due ? "no sequence began" : "a sequence began") +
                                " after " + std::to_string(run - 1) + " still reads at limit " +
                                std::to_string(limit));
    }
    if (sequence_starts[tick]) {
      run = 1;  // the rest place starts the next count
      tick += sequence_last_step[tick];
    }
  }
  return verdict;
}

struct SoakCase {
  std::string name;
  std::int16_t limit;
  bool limit_stays;  // the script never changes the limit: the timing is checked too
  Script script;
  std::function<bool(int sequences)> expected_sequences;
  int final_count = -1;  // the count the day must end on; -1: any
};

// How many sequences a pointer that never moves gets in a day at `limit`: one every limit + 2
// ticks after the first at tick limit + 1 (the first read would already count as still were the
// pointer resting at the origin, where the watch begins; the scripts here never put it there).
int StillDaySequences(int limit) {
  int sequences = 0;
  for (int start = limit + 1; start <= kDay; start += limit + 2) ++sequences;
  return sequences;
}

std::vector<SoakCase> Cases() {
  std::vector<SoakCase> cases;
  const auto none = [](int n) { return n == 0; };
  const auto some = [](int n) { return n > 0; };

  cases.push_back({"NeverMoving", 15, true, [](int, FakePointer&, clicker::IdleWatch&) {},
                   [](int n) { return n == StillDaySequences(15); }});
  for (const int every : {1, 2, 15, 16, 17, 60, 3600}) {
    // Moves every `every` ticks: a pointer that never rests 15 reads never gets a click.
    cases.push_back({"MovingEvery" + std::to_string(every), 15, true,
                     [every](int tick, FakePointer& p, clicker::IdleWatch&) {
                       if (tick % every == 0) p.position = PlaceFor(tick);
                     },
                     every <= 15 ? std::function<bool(int)>(none) : some});
  }
  cases.push_back({"LimitAtTheTop", 32767, true, [](int, FakePointer&, clicker::IdleWatch&) {},
                   [](int n) { return n == StillDaySequences(32767); }});
  cases.push_back({"LimitZeroMovingEvery7", 0, true,
                   [](int tick, FakePointer& p, clicker::IdleWatch&) {
                     if (tick % 7 == 0) p.position = PlaceFor(tick);
                   },
                   [](int n) { return n == 1 + kDay / 7; }});
  // Still all day at a limit the count never meets: the count runs into its top at tick 32768
  // and must stay there for the rest of the day.
  cases.push_back({"NegativeLimitNeverMoving", -1, true,
                   [](int, FakePointer&, clicker::IdleWatch&) {}, none, 32767});
  cases.push_back({"LimitLoweredBelowTheCountNeverMoving", 15, false,
                   [](int tick, FakePointer&, clicker::IdleWatch& w) {
                     if (tick == 10) w.SetIdleLimit(5);  // the count stands at 8 by now
                   },
                   none, 32767});
  cases.push_back({"LowestLimitMovingEvery5000", -32768, true,
                   [](int tick, FakePointer& p, clicker::IdleWatch&) {
                     if (tick % 5000 == 0) p.position = PlaceFor(tick);
                   },
                   none});
  cases.push_back(
      {"ReadFailuresInBursts", 15, true,
       [rng = std::mt19937(7), burst_left = 0](int, FakePointer& p, clicker::IdleWatch&) mutable {
         if (burst_left == 0 && rng() % 30 == 0) burst_left = 1 + rng() % 40;
         p.refuse_reads = burst_left > 0;
         if (burst_left > 0) --burst_left;
         if (rng() % 100 == 0) p.position = PlaceFor(static_cast<int>(rng() % 5000));
       },
       some});
  cases.push_back({"InputAlwaysRefused", 15, true,
                   [](int, FakePointer& p, clicker::IdleWatch&) { p.refuse_input = true; },
                   [](int n) { return n == StillDaySequences(15); }});
  cases.push_back({"InputRefusedInBurstsWhileMoving", 10, true,
                   [rng = std::mt19937(11)](int, FakePointer& p, clicker::IdleWatch&) mutable {
                     if (rng() % 25 == 0) p.refuse_input = !p.refuse_input;
                     if (rng() % 40 == 0) p.position = PlaceFor(static_cast<int>(rng() % 5000));
                   },
                   some});
  cases.push_back(
      {"LimitChangedRepeatedly", 15, false,
       [rng = std::mt19937(3)](int, FakePointer& p, clicker::IdleWatch& w) mutable {
         static constexpr std::int16_t kLimits[] = {-32768, -1, 0, 1, 2, 3, 15, 100, 32767};
         // Often while a sequence runs, where a change must not cut it short.
         if (rng() % (w.Clicking ? 2 : 50) == 0) {
           w.SetIdleLimit(rng() % 2 ? kLimits[rng() % std::size(kLimits)]
                                    : static_cast<std::int16_t>(static_cast<int>(rng() % 46) - 5));
         }
         if (rng() % 40 == 0) p.position = PlaceFor(static_cast<int>(rng() % 5000));
         p.refuse_reads = rng() % 60 == 0;
         p.refuse_input = rng() % 30 == 0;
       },
       some});
  return cases;
}

void PrintTo(const SoakCase& c, std::ostream* os) { *os << c.name; }

class IdleWatchSoak : public ::testing::TestWithParam<SoakCase> {};

TEST_P(IdleWatchSoak, ADayOfTicksClicksOnlyInWholeSequences) {
  const SoakCase& c = GetParam();
  FakePointer pointer;
  pointer.position = kStart;
  pointer.calls.reserve(4 * kDay);
  clicker::IdleWatch watch(pointer, "0123", "0456");
  watch.SetIdleLimit(c.limit);
  Script script = c.script;  // a fresh copy: the scripts' random generators start over each run
  const DayLog log = RunDay([&](int tick) { script(tick, pointer, watch); },
                            [&watch] { watch.Timer1_Timer(); }, pointer, watch);

  EXPECT_EQ(log.out_of_range, "");
  if (c.final_count >= 0) {
    EXPECT_EQ(watch.IdleCount, c.final_count);
  }
  const Verdict verdict =
      Check(log, c.limit_stays ? std::optional<std::int16_t>(c.limit) : std::nullopt);
  EXPECT_TRUE(verdict.problems.empty()) << ::testing::PrintToString(verdict.problems);
  EXPECT_TRUE(c.expected_sequences(verdict.sequences)) << verdict.sequences << " sequences";
}

INSTANTIATE_TEST_SUITE_P(Scripts, IdleWatchSoak, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// The checker must be able to fail: a watch that clicked out of turn is caught.
TEST(IdleWatchSoakChecker, CatchesAClickOutsideASequenceAndAMissedStep) {
  FakePointer pointer;
  pointer.position = kStart;
  DayLog log;
  for (int tick = 1; tick <= 20; ++tick) {
    log.ticks.push_back({pointer.calls.size(), true, true});
    POINT seen;
    pointer.GetCursorPos(seen);
    if (tick == 5) {  // a stray click at the rest place
      pointer.SetCursorPos(kStart.x, kStart.y);
      pointer.mouse_event(shared::MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
      pointer.mouse_event(shared::MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    }
    if (tick == 16) {  // a sequence whose later steps never come
      pointer.SetCursorPos(kTarget.x, kTarget.y);
      pointer.mouse_event(shared::MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
      pointer.mouse_event(shared::MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    }
  }
  log.calls = pointer.calls;
  const Verdict verdict = Check(log, std::nullopt);
  ASSERT_EQ(verdict.problems.size(), 3u) << ::testing::PrintToString(verdict.problems);
  EXPECT_NE(verdict.problems[0].find("tick 5: a click on (700, 300) outside"), std::string::npos);
  EXPECT_NE(verdict.problems[1].find("tick 17: step 1 clicked nothing"), std::string::npos);
  EXPECT_NE(verdict.problems[2].find("tick 18: step 2 clicked nothing"), std::string::npos);
  // At limit 3 the sequence was due at tick 4 and came at tick 16 instead.
  const Verdict timed = Check(log, std::int16_t{3});
  ASSERT_EQ(timed.problems.size(), 5u) << ::testing::PrintToString(timed.problems);
  EXPECT_NE(timed.problems[3].find("tick 4: no sequence began after 3 still reads"),
            std::string::npos);
  EXPECT_NE(timed.problems[4].find("tick 16: a sequence began after 15 still reads"),
            std::string::npos);
}

// The window's own tick, status and all, keeps going through a day in which the pointer can't
// be read or moved for hours at a time.
TEST(ClickerFormSoak, ADayWithHoursOfRefusedInputKeepsTicking) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "0123\r\n0456\r\n");
  FakePointer pointer;
  pointer.position = kStart;
  pointer.calls.reserve(4 * kDay);
  clicker::ClickerForm form(pointer, folder.path());
  FakeDesktop desktop(form.Layout());
  form.Form_Load(desktop);
  ASSERT_TRUE(form.Watch());

  const auto script = [&pointer](int tick) {
    const int hour = tick / 3600;
    pointer.refuse_input = hour % 3 == 1;  // one hour in three moves and clicks are refused
    pointer.refuse_reads = hour % 5 == 2;  // one in five the pointer can't be read
    if (tick % 97 == 0) pointer.position = PlaceFor(tick);
  };
  std::string last_status;
  int status_changes = 0;
  const DayLog log = RunDay(
      script,
      [&] {
        form.Timer1_Timer(desktop);
        const std::string& status = desktop.tooltips["Label1"];
        if (status != last_status) ++status_changes;
        last_status = status;
      },
      pointer, *form.Watch());

  EXPECT_EQ(log.out_of_range, "");
  const Verdict verdict = Check(log, std::int16_t{15});
  EXPECT_TRUE(verdict.problems.empty()) << ::testing::PrintToString(verdict.problems);
  EXPECT_GT(verdict.sequences, 1000);
  EXPECT_GT(status_changes, kDay / 2) << "the status should follow the count tick by tick";
  EXPECT_FALSE(desktop.ended);
  EXPECT_TRUE(desktop.messages.empty());
}

}  // namespace
