#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "form.hpp"

// A window with no display behind it: holds the labels' texts, answers prompts from a script and
// records what the form asked of it.
class FakeDesktop : public shared::Desktop {
 public:
  explicit FakeDesktop(const shared::FormLayout& layout) {
    for (const shared::ControlLayout& control : layout.controls) texts[control.name] = control.text;
  }

  std::string Text(std::string_view control) const override {
    return texts.at(std::string(control));
  }
  void SetText(std::string_view control, std::string_view text) override {
    texts.at(std::string(control)) = std::string(text);
  }
  void SetToolTip(std::string_view control, std::string_view text) override {
    tooltips[std::string(control)] = std::string(text);
  }
  void Move(int left, int top) override { moves.push_back({left, top}); }
  std::string InputBox(std::string_view message, std::string_view title) override {
    prompts.push_back(std::string(title) + ": " + std::string(message));
    std::string answer = answers.empty() ? std::string() : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  void MessageBox(std::string_view message, std::string_view title) override {
    messages.push_back(std::string(title) + ": " + std::string(message));
  }
  void End() override { ended = true; }

  struct Place {
    int left;
    int top;
    friend bool operator==(const Place&, const Place&) = default;
  };

  std::map<std::string, std::string> texts;
  std::map<std::string, std::string> tooltips;
  std::vector<Place> moves;
  std::deque<std::string> answers;  // what the user types at the next prompts; empty: cancel
  std::vector<std::string> prompts;
  std::vector<std::string> messages;
  bool ended = false;
};
