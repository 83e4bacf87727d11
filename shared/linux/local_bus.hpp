#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "sd_bus_library.hpp"

namespace shared::sdbus {

using Clock = std::chrono::steady_clock;

// True when every address in a D-Bus address list is a local (unix:) socket. sd-bus looks up
// the host name of a tcp: address with a blocking call, which no deadline can cut short.
bool OnlyLocalAddresses(std::string_view addresses);

struct MessageUnref {
  const Library* library;
  void operator()(sd_bus_message* message) const { library->message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// A client connection to the session or the system bus, over a local socket only. Every call
// takes a deadline and waits no longer; nothing is connected until the first call.
class LocalBus {
 public:
  enum class Kind { kSession, kSystem };

  explicit LocalBus(Kind kind) : kind_(kind) {}
  ~LocalBus() { Close(); }
  LocalBus(const LocalBus&) = delete;
  LocalBus& operator=(const LocalBus&) = delete;

  // Opens the bus if it isn't open and waits, until `deadline` at most, for it to say hello:
  // sd_bus_call would wait for that without a limit. False where libsystemd is missing, the
  // address isn't local, or the bus can't be reached in time.
  bool Connect(Clock::time_point deadline);

  // Handles what has come in (signals, late answers) without waiting for more, until `deadline`
  // at most: a flood of messages waits on the socket for the next call rather than holding the
  // caller up. False once the connection has broken.
  bool ProcessPending(Clock::time_point deadline);

  // Calls a method and waits for its answer until `deadline`; null on an error or no answer.
  template <typename... Arguments>
  Message Call(Clock::time_point deadline, const char* destination, const char* path,
               const char* interface, const char* member, const char* types,
               Arguments... arguments) {
    sd_bus_message* call = nullptr;
    if (library_->message_new_method_call(bus_, &call, destination, path, interface, member) < 0) {
      return Message(nullptr, {library_});
    }
    const Message owned_call(call, {library_});
    if (library_->message_append(call, types, arguments...) < 0)
      return Message(nullptr, {library_});
    return Send(deadline, call);
  }

  void Close();

  sd_bus* Bus() const { return bus_; }
  // Set once Connect has succeeded.
  const Library& Functions() const { return *library_; }

 private:
  bool Open();
  Message Send(Clock::time_point deadline, sd_bus_message* call);

  Kind kind_;
  const Library* library_ = nullptr;
  sd_bus* bus_ = nullptr;
};

}  // namespace shared::sdbus
