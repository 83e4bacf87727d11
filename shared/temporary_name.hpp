#pragma once

#include <optional>
#include <string>
#include <string_view>

// The names of the temporary files a write of coordinates.dat makes beside it:
// "<name>.<owner>-<unique>.tmp", where owner is the writing process's id. A process that dies in
// mid-write leaves its file behind; the next write removes the files of owners that are gone.
namespace shared {

template <typename Char>
std::basic_string<Char> TemporaryName(std::basic_string_view<Char> name, unsigned long owner,
                                      unsigned long unique) {
  const std::string tail = '.' + std::to_string(owner) + '-' + std::to_string(unique) + ".tmp";
  std::basic_string<Char> result(name);
  for (const char c : tail) result += static_cast<Char>(c);
  return result;
}

// The owner's process id when `entry` is a temporary name for `name`; nullopt otherwise.
template <typename Char>
std::optional<unsigned long> TemporaryOwner(std::basic_string_view<Char> name,
                                            std::basic_string_view<Char> entry) {
  const auto is_digit = [](Char c) { return c >= Char('0') && c <= Char('9'); };
  if (entry.size() <= name.size() + 1 || entry.substr(0, name.size()) != name ||
      entry[name.size()] != Char('.')) {
    return std::nullopt;
  }
  entry.remove_prefix(name.size() + 1);
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
  const Char suffix[] = {Char('.'), Char('t'), Char('m'), Char('p')};
  if (unique_digits == 0 || rest != std::basic_string_view<Char>(suffix, 4)) return std::nullopt;
  return owner;
}

}  // namespace shared
