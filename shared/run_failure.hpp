#pragma once

#include <exception>
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

// What to tell the user about the exception being handled; call it only inside a catch block.
// A RunFailure says it in its own words; anything else (a library's, an allocation's) is still
// told, never left to end in a bare terminate.
inline std::string CaughtFailureText() {
  try {
    throw;
  } catch (const RunFailure& failure) {
    return failure.what();
  } catch (const std::exception& error) {
    const std::string what = error.what();
    return "The program stopped on an unexpected error" + (what.empty() ? "" : ": " + what) + ".";
  } catch (...) {
    return "The program stopped on an unexpected error.";
  }
}

}  // namespace shared
