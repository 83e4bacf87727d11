#include "local_bus.hpp"

#include <cstdlib>

namespace shared::sdbus {
namespace {

// Microseconds left until `deadline`; 0 once it has passed.
std::uint64_t MicrosecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<std::uint64_t>(left.count()) : 0;
}

}  // namespace

bool OnlyLocalAddresses(std::string_view addresses) {
  // A list of alternatives separated by ';', each "transport:key=value,...".
  bool any = false;
  while (!addresses.empty()) {
    const std::size_t end = addresses.find(';');
    const std::string_view address = addresses.substr(0, end);
    if (!address.empty()) {
      if (!address.starts_with("unix:")) return false;
      any = true;
    }
    if (end == std::string_view::npos) break;
    addresses.remove_prefix(end + 1);
  }
  return any;
}

bool LocalBus::Open() {
  if (!library_) library_ = Load();
  if (!library_) return false;
  // Unset, sd-bus takes a socket in $XDG_RUNTIME_DIR for the session bus and
  // /run/dbus/system_bus_socket for the system bus: local either way.
  const char* const address =
      std::getenv(kind_ == Kind::kSession ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS");
  if (address && !OnlyLocalAddresses(address)) return false;
  const int opened =
      kind_ == Kind::kSession ? library_->open_user(&bus_) : library_->open_system(&bus_);
  if (opened >= 0) return true;
  bus_ = nullptr;
  return false;
}

bool LocalBus::Connect(Clock::time_point deadline) {
  if (bus_ && library_->is_open(bus_) <= 0) Close();
  if (!bus_ && !Open()) return false;
  for (;;) {
    const int ready = library_->is_ready(bus_);
    if (ready > 0) return true;
    if (ready < 0) return false;
    const int processed = library_->process(bus_, nullptr);
    if (processed < 0) return false;
    if (processed > 0) continue;
    const std::uint64_t left = MicrosecondsLeft(deadline);
    if (left == 0 || library_->wait(bus_, left) < 0) return false;
  }
}

bool LocalBus::ProcessPending(Clock::time_point deadline) {
  if (!bus_) return false;
  // Each round handles one message; the clock is read between them.
  int processed = 0;
  while (Clock::now() < deadline && (processed = library_->process(bus_, nullptr)) > 0) {
  }
  return processed >= 0 && library_->is_open(bus_) > 0;
}

Message LocalBus::Send(Clock::time_point deadline, sd_bus_message* call) {
  // A timeout of 0 would mean sd-bus's own default of 25 s.
  const std::uint64_t left = MicrosecondsLeft(deadline);
  sd_bus_message* reply = nullptr;
  if (left == 0 || library_->call(bus_, call, left, nullptr, &reply) < 0) {
    return Message(nullptr, {library_});
  }
  return Message(reply, {library_});
}

void LocalBus::Close() {
  if (bus_) library_->close_unref(bus_);
  bus_ = nullptr;
}

}  // namespace shared::sdbus
