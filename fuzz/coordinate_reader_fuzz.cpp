// Feeds arbitrary bytes to the coordinate file reader as the file's contents and checks what it
// returns against a plain reading of the documented line rules.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "coordinate_file.hpp"
#include "run_failure.hpp"

namespace {

constexpr std::string_view kName = "fuzz-input.dat";

struct Outcome {
  std::optional<shared::CoordinateTexts> texts;
  std::string failure;
  bool operator==(const Outcome&) const = default;
};

Outcome Read(const std::uint8_t* data, std::size_t size) {
  // fmemopen only reads here, whatever its signature says.
  std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!stream) std::abort();
  Outcome outcome;
  try {
    outcome.texts = shared::ReadCoordinates(stream, kName);
  } catch (const shared::RunFailure& failure) {
    outcome.failure = failure.what();
  }
  std::fclose(stream);
  return outcome;
}

// The rules written out directly: a line ends at LF, a CR just before that LF is not kept, any
// other CR is text; the second line may also end at the end of the input. Either line holding
// more than kMaxCoordinateLine characters, or no second line, is a failure (nullopt).
std::optional<shared::CoordinateTexts> Expected(std::string_view bytes) {
  const auto take_line = [&bytes](bool may_end_at_eof) -> std::optional<std::string> {
    const std::size_t lf = bytes.find('\n');
    if (lf == std::string_view::npos && !may_end_at_eof) return std::nullopt;
    std::string_view line = bytes.substr(0, lf);
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    return std::string(line);
  };
  const auto long_line = [](std::string_view rest) {
    const std::size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    return line.size() > shared::kMaxCoordinateLine;
  };
  if (long_line(bytes)) return std::nullopt;
  std::optional<std::string> x = take_line(false);
  if (!x || bytes.empty() || long_line(bytes)) return std::nullopt;
  std::optional<std::string> y = take_line(true);
  return shared::CoordinateTexts{std::move(*x), std::move(*y)};
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Outcome first = Read(data, size);
  if (first.texts) {
    for (const std::string* text : {&first.texts->x, &first.texts->y}) {
      Check(text->find('\n') == std::string::npos, "a text holds a line feed");
      Check(text->size() <= shared::kMaxCoordinateLine, "a text is longer than the limit");
    }
  } else {
    Check(first.failure.find(kName) != std::string::npos, "the failure does not name the file");
  }
  Check(Read(data, size) == first, "reading the same bytes again gave another result");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(Expected(bytes) == first.texts, "the result differs from the line rules");
  return 0;
}
