#pragma once

#include <stdexcept>
#include <string>

namespace shared {

// A failure the program can't go on after: the coordinate file can't be read or written, a target
// isn't a number. Raised anywhere in the rules, caught in one place per platform, which tells the
// user (message box and standard error) and ends the program with a non-zero status.
class RunFailure : public std::runtime_error {
 public:
  explicit RunFailure(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace shared
