#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace clicker {

// What the user typed into the "How long" prompt, read as a new idle limit.
struct IntervalEntry {
  enum class Kind {
    kKeep,     // empty (or cancelled): the limit stays as it is
    kLimit,    // `limit` is the new limit
    kInvalid,  // not usable; `problem` says why, for the user
  };
  Kind kind = Kind::kKeep;
  std::int16_t limit = 0;
  std::string problem;
};

// Reads a number of ticks: optional blanks around an optional sign, digits, and an optional
// fraction after a point ("20", "7.9", "-2.5", ".5", "3."). The limit is the greatest integer not
// above the number (7.9 gives 7, -2.5 gives -3) and must lie within -32768..32767.
IntervalEntry ParseIntervalEntry(std::string_view text);

}  // namespace clicker
