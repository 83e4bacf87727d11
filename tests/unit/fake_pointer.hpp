#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pointer_services.hpp"

// A pointer with no display behind it. The test sets where it is (and whether reading it fails);
// every call is recorded in order, and SetCursorPos really moves it, as on a desktop.
class FakePointer : public shared::Pointer {
 public:
  struct Call {
    enum Kind { kGet, kSet, kDown, kUp } kind;
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Call&, const Call&) = default;
  };

  bool GetCursorPos(shared::POINT& point) override {
    calls.push_back({Call::kGet, position.x, position.y});
    if (refuse_reads) return false;
    point = position;
    return true;
  }
  bool SetCursorPos(std::int32_t x, std::int32_t y) override {
    calls.push_back({Call::kSet, x, y});
    if (refuse_input) return false;
    position = {x, y};
    return true;
  }
  bool mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::uint32_t,
                   std::uintptr_t) override {
    const auto kind = flags == shared::MOUSEEVENTF_LEFTDOWN ? Call::kDown : Call::kUp;
    calls.push_back({kind, position.x, position.y});
    return !refuse_input;
  }
  bool ReadEveryTick() const override { return read_every_tick; }
  bool OnScreen(std::int32_t x, std::int32_t) const override { return x < screen_width; }
  std::string Route() const override { return route; }
  bool AnyButtonHeld() override { return button_held || out_of_reach; }
  bool ButtonsOutOfReach() override { return out_of_reach; }
  void BeginSequence() override { ++sequences_begun, in_sequence = true; }
  void EndSequence() override { in_sequence = false; }

  // The clicks made so far: where each press landed, in order.
  std::vector<shared::POINT> Presses() const {
    std::vector<shared::POINT> presses;
    for (const Call& call : calls) {
      if (call.kind == Call::kDown) presses.push_back({call.x, call.y});
    }
    return presses;
  }

  shared::POINT position{};
  bool refuse_reads = false;
  bool refuse_input = false;
  bool button_held = false;
  // As a native Wayland session: the pointer is read only when a sequence starts.
  bool read_every_tick = true;
  std::int32_t screen_width = 1 << 30;
  std::string route;
  bool out_of_reach = false;  // the buttons can't be read past the window in front
  std::vector<Call> calls;
  int sequences_begun = 0;
  bool in_sequence = false;
};
