#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// The names of the temporary files a write of coordinates.dat makes beside it:
// "<name>.<owner>-<unique>.tmp", where owner is the writing process's id. A process that dies in
// mid-write leaves its file behind; a later write removes it (RemoveAbandonedTemporaries). On
// Windows the old file waits under "<name>.<owner>-<unique>.bak" while it is replaced.
namespace shared {

inline constexpr const char* kTemporarySuffix = ".tmp";
inline constexpr const char* kBackupSuffix = ".bak";

// A grab's write lasts milliseconds, but an owner that looks ended may be alive where this process
// can't see it (another PID namespace sharing the folder, another machine on a network share),
// and its write may be held up by a slow share. Ten minutes covers such a write many times over
// and a few minutes of clock difference between a share's server and this machine; a leftover
// kept that long costs a few bytes.
inline constexpr std::chrono::seconds kLeftoverAge = std::chrono::minutes(10);

template <typename Char>
std::basic_string<Char> TemporaryName(std::basic_string_view<Char> name, unsigned long owner,
                                      unsigned long unique, const char* suffix = kTemporarySuffix) {
  const std::string tail = '.' + std::to_string(owner) + '-' + std::to_string(unique) + suffix;
  std::basic_string<Char> result(name);
  for (const char c : tail) result += static_cast<Char>(c);
  return result;
}

// The owner's process id when `entry` is a temporary name for `name` (a backup's with
// kBackupSuffix); nullopt otherwise.
template <typename Char>
std::optional<unsigned long> TemporaryOwner(std::basic_string_view<Char> name,
                                            std::basic_string_view<Char> entry,
                                            const char* suffix = kTemporarySuffix) {
  const auto is_digit = [](Char c) { return c >= Char('0') && c <= Char('9'); };
  if (entry.size() <= name.size() + 1 || entry.substr(0, name.size()) != name ||
      entry[name.size()] != Char('.')) {
    return std::nullopt;
  }
  entry.remove_prefix(name.size() + 1);
  // Nine digits at most: the id then fits a 32-bit unsigned long, pid_t and DWORD without
  // wrapping (a wrapped one could read as a process group to kill()). Real ids are shorter
  // (Linux's pid_max is at most 2^22); a longer number is no name this program made, so the
  // file is not taken as a temporary one and is left alone.
  unsigned long owner = 0;
  std::size_t digits = 0;
  for (; digits < entry.size() && is_digit(entry[digits]) && digits < 9; ++digits) {
    owner = owner * 10 + static_cast<unsigned long>(entry[digits] - Char('0'));
  }
  if (digits == 0 || digits >= entry.size() || entry[digits] != Char('-')) return std::nullopt;
  entry.remove_prefix(digits + 1);
  std::size_t unique_digits = 0;
  while (unique_digits < entry.size() && is_digit(entry[unique_digits])) ++unique_digits;
  const std::basic_string_view<Char> rest = entry.substr(unique_digits);
  const std::string_view wanted(suffix);
  if (unique_digits == 0 || rest.size() != wanted.size() ||
      !std::equal(rest.begin(), rest.end(), wanted.begin(),
                  [](Char c, char w) { return c == static_cast<Char>(w); })) {
    return std::nullopt;
  }
  return owner;
}

}  // namespace shared
