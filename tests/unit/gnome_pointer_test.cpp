#include "linux/gnome/gnome_pointer.hpp"

#include <gtest/gtest.h>

#include "clicker_form.hpp"
#include "fake_desktop.hpp"
#include "fake_pointer.hpp"
#include "scratch_folder.hpp"

namespace {

using shared::POINT;
using namespace shared::gnome;

// Two monitors side by side, the right one 100 pixels higher and its stream scaled by 2. What the
// casts were asked is recorded; each of the three refusals can be set.
struct Desk {
  bool refuse_open = false, silent = false, refuse_input = false;
  std::optional<std::size_t> monitor = 1;  // where the streams show the pointer: (40, 60) there
  int opened = 0, open = 0;
  std::vector<std::string> input;
  std::vector<std::string> reports;
};

struct FakeCast : Cast {
  explicit FakeCast(Desk& d) : desk(d) { ++desk.open; }
  ~FakeCast() override { --desk.open; }
  const std::vector<Monitor>& Monitors() const override { return monitors; }
  Reading Cursor(Clock::time_point) override { return {!desk.silent, desk.monitor, 40, 60}; }
  bool Move(const Monitor& m, StreamPoint at) override {
    desk.input.push_back(m.stream + " " + std::to_string(at.x) + " " + std::to_string(at.y));
    return !desk.refuse_input;
  }
  bool Button(bool pressed) override {
    desk.input.push_back(pressed ? "press" : "release");
    return !desk.refuse_input;
  }
  Desk& desk;
  std::vector<Monitor> monitors{{"left", 0, 0, 1280, 1024, 1}, {"right", 1280, -100, 960, 600, 2}};
};

struct FakeCaster : Caster {
  explicit FakeCaster(Desk& d) : desk(d) {}
  std::unique_ptr<Cast> Open(bool, std::string& failure) override {
    ++desk.opened;
    failure = "GNOME said no.";
    return desk.refuse_open ? nullptr : std::make_unique<FakeCast>(desk);
  }
  Desk& desk;
};

struct Pointers {
  explicit Pointers(Desk& desk)
      : x11(new FakePointer),
        gnome(std::make_unique<FakeCaster>(desk), std::unique_ptr<shared::Pointer>(x11),
              [&desk](const std::string& route) { desk.reports.push_back(route); }) {}
  FakePointer* x11;
  GnomePointer gnome;
};

TEST(MonitorStreams, EachPointGoesToTheStreamOfItsMonitorAndComesBack) {
  Desk desk;
  const std::vector<Monitor> monitors = FakeCast(desk).monitors;
  const struct {
    POINT at;
    std::optional<std::size_t> monitor;
    double stream_x, stream_y;
  } cases[] = {{{0, 0}, 0, 0, 0},       {{1279, 1023}, 0, 1279, 1023}, {{1280, -100}, 1, 0, 0},
               {{1300, 0}, 1, 40, 200}, {{2239, 499}, 1, 1918, 1198},  {{1280, 500}, {}, 0, 0},
               {{2240, 0}, {}, 0, 0},   {{-1, 0}, {}, 0, 0},           {{INT32_MAX, 0}, {}, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.at.x) + "," + std::to_string(c.at.y));
    ASSERT_EQ(MonitorHolding(monitors, c.at.x, c.at.y), c.monitor);
    if (!c.monitor) continue;
    const StreamPoint in = ToStream(monitors[*c.monitor], c.at.x, c.at.y);
    EXPECT_EQ(std::pair(in.x, in.y), std::pair(c.stream_x, c.stream_y));
    EXPECT_EQ(FromStream(monitors[*c.monitor], static_cast<std::int32_t>(in.x),
                         static_cast<std::int32_t>(in.y)),
              c.at);
  }
  EXPECT_EQ(StreamScale(1280, 1920), 1.5);
  EXPECT_EQ(StreamScale(0, 1920), 1);
}

TEST(GnomePointer, ASequenceReadsMovesAndClicksThroughOneCastClosedAfterIt) {
  Desk desk;
  Pointers p(desk);
  EXPECT_FALSE(p.gnome.ReadEveryTick());
  p.gnome.BeginSequence();
  POINT rest{};
  ASSERT_TRUE(p.gnome.GetCursorPos(rest));
  EXPECT_EQ(rest, (POINT{1300, -70}));
  EXPECT_FALSE(p.gnome.OnScreen(5000, 0));
  EXPECT_FALSE(p.gnome.SetCursorPos(5000, 0));
  EXPECT_TRUE(p.gnome.SetCursorPos(1300, 0));
  EXPECT_TRUE(
      p.gnome.mouse_event(shared::MOUSEEVENTF_LEFTDOWN | shared::MOUSEEVENTF_LEFTUP, 0, 0, 0, 0));
  p.gnome.EndSequence();
  const std::vector<std::string> input = {"right 40.000000 200.000000",
                                          "right 40.000000 200.000000", "press", "release"};
  EXPECT_EQ(desk.input, input);
  EXPECT_EQ(std::pair(desk.opened, desk.open), std::pair(1, 0));
  EXPECT_TRUE(desk.reports.empty() && p.x11->calls.empty());
}

// A refused cast, streams that never start, refused input: the sequence clicks nothing more, the
// cast is closed, the failure is told once, and from then on the X11 pointer does the work.
TEST(GnomePointer, AFailureEndsTheCastAndLeavesTheRestToX11) {
  for (int failure = 0; failure < 3; ++failure) {
    Desk desk;
    desk.refuse_open = failure == 0, desk.silent = failure == 1, desk.refuse_input = failure == 2;
    Pointers p(desk);
    p.gnome.BeginSequence();
    POINT rest{};
    if (p.gnome.GetCursorPos(rest)) p.gnome.SetCursorPos(10, 10);
    p.gnome.mouse_event(shared::MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    p.gnome.EndSequence();
    EXPECT_LE(desk.input.size(), 1u) << failure;
    EXPECT_EQ(desk.open, 0) << failure;
    ASSERT_EQ(desk.reports.size(), 1u) << failure;
    EXPECT_NE(desk.reports[0].find("only X11 windows are seen and clicked"), std::string::npos);
    EXPECT_TRUE(p.gnome.ReadEveryTick());
    EXPECT_TRUE(p.gnome.SetCursorPos(10, 10));
    EXPECT_EQ(p.x11->calls.back(), (FakePointer::Call{FakePointer::Call::kSet, 10, 10}));
  }
}

TEST(GnomePointer, FollowingKeepsOneCastAndAHiddenPointerIsNoFailure) {
  Desk desk;
  Pointers p(desk);
  p.gnome.FollowContinuously();
  POINT at{};
  for (int read = 0; read < 3; ++read) EXPECT_TRUE(p.gnome.GetCursorPos(at));
  desk.monitor.reset();
  EXPECT_FALSE(p.gnome.GetCursorPos(at));
  EXPECT_EQ(std::tuple(desk.opened, desk.open, desk.reports.size()), std::tuple(1, 1, 0u));
}

// Through the rules: the idle watch opens the cast a tick before the sequence, and the tip says
// why the clicks fell back to X11 once GNOME refused them.
TEST(GnomePointer, TheTipTellsOfARefusalDuringASequence) {
  ScratchFolder folder;
  folder.Write("coordinates.dat", "1300\r\n0\r\n");
  Desk desk;
  desk.refuse_input = true;
  Pointers p(desk);
  struct NoInput : shared::DesktopIdleTime {
    std::optional<std::uint64_t> MillisecondsSinceInput() override { return 3'600'000; }
  };
  shared::DesktopSession session;
  session.idle_time = std::make_unique<NoInput>();
  clicker::ClickerForm form(p.gnome, folder.path(), std::move(session));
  FakeDesktop screen(form.Layout());
  form.Form_Load(screen);
  for (int tick = 1; tick < 15; ++tick) form.Timer1_Timer(screen);
  EXPECT_EQ(std::pair(desk.opened, desk.open), std::pair(1, 1));
  form.Timer1_Timer(screen);
  EXPECT_EQ(desk.open, 0);
  EXPECT_NE(screen.tooltips["Label1"].find("GNOME refused to move the pointer"), std::string::npos);
}

}  // namespace
