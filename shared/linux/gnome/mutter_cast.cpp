#include "mutter_cast.hpp"

#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include "../local_bus.hpp"
#include "pipewire_library.hpp"

namespace shared::gnome {
namespace {

using sdbus::LocalBus;
using sdbus::Message;

constexpr const char* kRemoteDesktop = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kRemoteDesktopSession = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* kScreenCast = "org.gnome.Mutter.ScreenCast";
constexpr const char* kScreenCastSession = "org.gnome.Mutter.ScreenCast.Session";
constexpr const char* kStream = "org.gnome.Mutter.ScreenCast.Stream";
constexpr const char* kDisplayConfig = "org.gnome.Mutter.DisplayConfig";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// Opening answers within this, PipeWire's streams aside; each input call within the second.
constexpr std::chrono::milliseconds kOpenLimit{1000};
constexpr std::chrono::milliseconds kCallLimit{500};
// The stream's cursor metadata: the pointer's place only, no sprite asked for.
constexpr std::uint32_t kCursorModeMetadata = 2;
constexpr std::int32_t kLeftButton = 0x110;  // BTN_LEFT

// The monitors' connectors, from DisplayConfig's current state: the first monitor of each
// logical monitor (the others show the same part of the layout).
std::vector<std::string> Connectors(LocalBus& bus, Clock::time_point deadline) {
  std::vector<std::string> connectors;
  const Message reply = bus.Call(deadline, kDisplayConfig, "/org/gnome/Mutter/DisplayConfig",
                                 kDisplayConfig, "GetCurrentState", "");
  if (!reply) return connectors;
  const sdbus::Library& sd = bus.Functions();
  sd_bus_message* const m = reply.get();
  std::uint32_t serial = 0;
  if (sd.message_read(m, "u", &serial) <= 0 ||
      sd.message_skip(m, "a((ssss)a(siiddada{sv})a{sv})") < 0 ||
      sd.message_enter_container(m, 'a', "(iiduba(ssss)a{sv})") <= 0) {
    return {};
  }
  while (sd.message_enter_container(m, 'r', "iiduba(ssss)a{sv}") > 0) {
    std::int32_t x = 0, y = 0;
    double scale = 1;
    std::uint32_t transform = 0;
    int primary = 0;
    if (sd.message_read(m, "iidub", &x, &y, &scale, &transform, &primary) <= 0 ||
        sd.message_enter_container(m, 'a', "(ssss)") <= 0) {
      return {};
    }
    const char *connector = nullptr, *vendor = nullptr, *product = nullptr, *serial_text = nullptr;
    bool first = true;
    while (sd.message_read(m, "(ssss)", &connector, &vendor, &product, &serial_text) > 0) {
      if (first) connectors.emplace_back(connector);
      first = false;
    }
    if (sd.message_exit_container(m) < 0 || sd.message_skip(m, "a{sv}") < 0 ||
        sd.message_exit_container(m) < 0) {
      return {};
    }
  }
  return connectors;
}

// A stream's place and size in the layout, from its Parameters property.
bool ReadPlace(LocalBus& bus, Clock::time_point deadline, Monitor& monitor) {
  const Message reply = bus.Call(deadline, kScreenCast, monitor.stream.c_str(), kProperties, "Get",
                                 "ss", kStream, "Parameters");
  if (!reply) return false;
  const sdbus::Library& sd = bus.Functions();
  sd_bus_message* const m = reply.get();
  if (sd.message_enter_container(m, 'v', "a{sv}") <= 0 ||
      sd.message_enter_container(m, 'a', "{sv}") <= 0) {
    return false;
  }
  bool placed = false, sized = false;
  while (sd.message_enter_container(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    if (sd.message_read(m, "s", &key) <= 0) return false;
    const std::string_view name = key;
    int read = 0;
    if (name == "position") {
      read = sd.message_read(m, "v", "(ii)", &monitor.x, &monitor.y);
      placed = read > 0;
    } else if (name == "size") {
      read = sd.message_read(m, "v", "(ii)", &monitor.width, &monitor.height);
      sized = read > 0;
    } else {
      read = sd.message_skip(m, "v");
    }
    if (read < 0 || sd.message_exit_container(m) < 0) return false;
  }
  return placed && sized;
}

// The integer property `name` of one of mutter's services, or nothing where it doesn't answer.
std::optional<std::int32_t> Version(LocalBus& bus, Clock::time_point deadline, const char* service,
                                    const char* path) {
  const Message reply =
      bus.Call(deadline, service, path, kProperties, "Get", "ss", service, "Version");
  std::int32_t version = 0;
  if (!reply || bus.Functions().message_read(reply.get(), "v", "i", &version) <= 0) {
    return std::nullopt;
  }
  return version;
}

// The format asked of a stream: raw video of any size. The frames themselves are never mapped;
// only their cursor metadata is read.
const spa_pod* VideoFormat(spa_pod_builder& b) {
  spa_pod_frame object{}, choice{};
  spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
  spa_pod_builder_prop(&b, SPA_FORMAT_mediaType, 0);
  spa_pod_builder_id(&b, SPA_MEDIA_TYPE_video);
  spa_pod_builder_prop(&b, SPA_FORMAT_mediaSubtype, 0);
  spa_pod_builder_id(&b, SPA_MEDIA_SUBTYPE_raw);
  spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_format, 0);
  spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
  for (const std::uint32_t format :
       {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
        SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB}) {
    spa_pod_builder_id(&b, format);
  }
  spa_pod_builder_pop(&b, &choice);
  spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_size, 0);
  spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
  spa_pod_builder_rectangle(&b, 1280, 1024);
  spa_pod_builder_rectangle(&b, 1, 1);
  spa_pod_builder_rectangle(&b, 16384, 16384);
  spa_pod_builder_pop(&b, &choice);
  spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_framerate, 0);
  spa_pod_builder_fraction(&b, 0, 1);
  return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

// Asked once the format is set: buffers that carry the cursor metadata, in memory PipeWire
// shares (no GPU buffers, which would need a graphics library to read).
std::array<const spa_pod*, 2> BufferParams(spa_pod_builder& b) {
  constexpr std::int32_t kMetaSize = sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap);
  spa_pod_frame object{}, choice{};
  spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
  spa_pod_builder_prop(&b, SPA_PARAM_META_type, 0);
  spa_pod_builder_id(&b, SPA_META_Cursor);
  spa_pod_builder_prop(&b, SPA_PARAM_META_size, 0);
  spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
  // A sprite up to 384 pixels square, as mutter offers: the size must match its offer.
  spa_pod_builder_int(&b, kMetaSize + 384 * 384 * 4);
  spa_pod_builder_int(&b, kMetaSize);
  spa_pod_builder_int(&b, kMetaSize + 1024 * 1024 * 4);
  spa_pod_builder_pop(&b, &choice);
  const auto* meta = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
  spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
  spa_pod_builder_prop(&b, SPA_PARAM_BUFFERS_dataType, 0);
  spa_pod_builder_int(&b, (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr));
  const auto* buffers = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
  return {meta, buffers};
}

class MutterCast final : public Cast {
 public:
  explicit MutterCast(const PipeWire& pw) : pw_(pw) {}
  ~MutterCast() override { Close(); }
  MutterCast(const MutterCast&) = delete;
  MutterCast& operator=(const MutterCast&) = delete;

  // Opens the sessions, a stream of each monitor and PipeWire's side of them; the streams'
  // first frames come later. False, with `failure` set, where something refused.
  bool Open(bool input, std::string& failure) {
    const Clock::time_point deadline = Clock::now() + kOpenLimit;
    if (!bus_.Connect(deadline)) {
      failure = "The session bus couldn't be reached for GNOME's remote desktop.";
      return false;
    }
    const std::vector<std::string> connectors = Connectors(bus_, deadline);
    if (connectors.empty()) {
      failure = "GNOME didn't tell which monitors it has.";
      return false;
    }
    if (!CreateSessions(input, deadline)) {
      failure = input ? "GNOME refused to open a remote desktop session for the clicks."
                      : "GNOME refused to open a screen cast for the pointer's position.";
      return false;
    }
    for (const std::string& connector : connectors) {
      if (!Record(connector, deadline)) {
        failure = "GNOME refused to cast a monitor (" + connector + ").";
        return false;
      }
    }
    const Message started = input ? bus_.Call(deadline, kRemoteDesktop, remote_session_.c_str(),
                                              kRemoteDesktopSession, "Start", "")
                                  : bus_.Call(deadline, kScreenCast, cast_session_.c_str(),
                                              kScreenCastSession, "Start", "");
    if (!started || !AwaitNodes(deadline)) {
      failure = "GNOME's screen cast didn't start.";
      return false;
    }
    if (!ConnectStreams()) {
      failure = "PipeWire couldn't be reached for GNOME's screen cast (is it running?).";
      return false;
    }
    return true;
  }

  const std::vector<Monitor>& Monitors() const override { return monitors_; }

  Reading Cursor(Clock::time_point deadline) override {
    Reading reading;
    pw_.thread_loop_lock(thread_);
    for (;;) {
      reading.started =
          std::any_of(streams_.begin(), streams_.end(), [](const auto& s) { return s->framed; });
      const auto left =
          std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
      if (reading.started || left <= 0) break;
      timespec until{};
      if (pw_.thread_loop_get_time(thread_, &until, left) < 0 ||
          pw_.thread_loop_timed_wait_full(thread_, &until) < 0) {
        break;
      }
    }
    // With several monitors, the stream that saw the pointer last holds it.
    const Stream* latest = nullptr;
    for (const auto& stream : streams_) {
      monitors_[stream->monitor].scale = stream->scale;
      if (stream->shows_pointer && (!latest || stream->order > latest->order))
        latest = stream.get();
    }
    if (latest) {
      reading.monitor = latest->monitor;
      reading.x = latest->x;
      reading.y = latest->y;
    }
    pw_.thread_loop_unlock(thread_);
    return reading;
  }

  bool Move(const Monitor& monitor, StreamPoint at) override {
    return !remote_session_.empty() &&
           bus_.Call(Clock::now() + kCallLimit, kRemoteDesktop, remote_session_.c_str(),
                     kRemoteDesktopSession, "NotifyPointerMotionAbsolute", "sdd",
                     monitor.stream.c_str(), at.x, at.y) != nullptr;
  }

  bool Button(bool pressed) override {
    return !remote_session_.empty() &&
           bus_.Call(Clock::now() + kCallLimit, kRemoteDesktop, remote_session_.c_str(),
                     kRemoteDesktopSession, "NotifyPointerButton", "ib", kLeftButton,
                     static_cast<int>(pressed)) != nullptr;
  }

 private:
  struct Stream {
    MutterCast* owner = nullptr;
    std::size_t monitor = 0;
    std::uint32_t node = SPA_ID_INVALID;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    bool framed = false;
    bool shows_pointer = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint64_t order = 0;
    double scale = 1;
  };

  bool CreateSessions(bool input, Clock::time_point deadline) {
    const char* path = nullptr;
    if (!input) {
      const Message cast = bus_.Call(deadline, kScreenCast, "/org/gnome/Mutter/ScreenCast",
                                     kScreenCast, "CreateSession", "a{sv}", 0);
      if (!cast || bus_.Functions().message_read(cast.get(), "o", &path) <= 0) return false;
      cast_session_ = path;
      return true;
    }
    const Message remote = bus_.Call(deadline, kRemoteDesktop, "/org/gnome/Mutter/RemoteDesktop",
                                     kRemoteDesktop, "CreateSession", "");
    if (!remote || bus_.Functions().message_read(remote.get(), "o", &path) <= 0) return false;
    remote_session_ = path;
    const Message id = bus_.Call(deadline, kRemoteDesktop, path, kProperties, "Get", "ss",
                                 kRemoteDesktopSession, "SessionId");
    const char* session_id = nullptr;
    if (!id || bus_.Functions().message_read(id.get(), "v", "s", &session_id) <= 0) return false;
    // The cast of a remote-desktop session, which its input names and its Start starts.
    const Message cast =
        bus_.Call(deadline, kScreenCast, "/org/gnome/Mutter/ScreenCast", kScreenCast,
                  "CreateSession", "a{sv}", 1, "remote-desktop-session-id", "s", session_id);
    if (!cast || bus_.Functions().message_read(cast.get(), "o", &path) <= 0) return false;
    cast_session_ = path;
    return true;
  }

  bool Record(const std::string& connector, Clock::time_point deadline) {
    const Message reply =
        bus_.Call(deadline, kScreenCast, cast_session_.c_str(), kScreenCastSession, "RecordMonitor",
                  "sa{sv}", connector.c_str(), 1, "cursor-mode", "u", kCursorModeMetadata);
    const char* path = nullptr;
    if (!reply || bus_.Functions().message_read(reply.get(), "o", &path) <= 0) return false;
    Monitor monitor{.stream = path};
    auto stream = std::make_unique<Stream>();
    stream->owner = this;
    stream->monitor = monitors_.size();
    // The node comes in a signal once the session starts: matched before it is started.
    if (bus_.Functions().match_signal_async(bus_.Bus(), nullptr, kScreenCast, path, kStream,
                                            "PipeWireStreamAdded", &OnStreamAdded, nullptr,
                                            stream.get()) < 0 ||
        !ReadPlace(bus_, deadline, monitor)) {
      return false;
    }
    monitors_.push_back(std::move(monitor));
    streams_.push_back(std::move(stream));
    return true;
  }

  static int OnStreamAdded(sd_bus_message* message, void* data, sd_bus_error*) {
    auto* stream = static_cast<Stream*>(data);
    std::uint32_t node = SPA_ID_INVALID;
    if (stream->owner->bus_.Functions().message_read(message, "u", &node) > 0) stream->node = node;
    return 0;
  }

  bool AwaitNodes(Clock::time_point deadline) {
    const sdbus::Library& sd = bus_.Functions();
    for (;;) {
      if (!bus_.ProcessPending(deadline)) return false;
      if (std::all_of(streams_.begin(), streams_.end(),
                      [](const auto& s) { return s->node != SPA_ID_INVALID; })) {
        return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
      if (left <= 0 || sd.wait(bus_.Bus(), static_cast<std::uint64_t>(left)) < 0) return false;
    }
  }

  // PipeWire's side runs on a thread of its own while the cast is open, so that the streams
  // start while the program waits for its next tick; what it tells is read under its lock.
  bool ConnectStreams() {
    thread_ = pw_.thread_loop_new("cast", nullptr);
    if (!thread_) return false;
    context_ = pw_.context_new(pw_.thread_loop_get_loop(thread_), nullptr, 0);
    if (!context_ || pw_.thread_loop_start(thread_) < 0) return false;
    started_ = true;
    pw_.thread_loop_lock(thread_);
    const bool connected = ConnectLocked();
    pw_.thread_loop_unlock(thread_);
    return connected;
  }

  bool ConnectLocked() {
    core_ = pw_.context_connect(context_, nullptr, 0);
    if (!core_) return false;
    static const pw_stream_events events = [] {
      pw_stream_events e{};
      e.version = PW_VERSION_STREAM_EVENTS;
      e.param_changed = &OnParamChanged;
      e.process = &OnProcess;
      return e;
    }();
    for (const auto& stream : streams_) {
      stream->stream =
          pw_.stream_new(core_, program_invocation_short_name,
                         pw_.properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
      if (!stream->stream) return false;
      pw_.stream_add_listener(stream->stream, &stream->listener, &events, stream.get());
      std::array<std::uint8_t, 1024> buffer{};
      spa_pod_builder b{};
      spa_pod_builder_init(&b, buffer.data(), buffer.size());
      const spa_pod* format = VideoFormat(b);
      if (pw_.stream_connect(stream->stream, PW_DIRECTION_INPUT, stream->node,
                             PW_STREAM_FLAG_AUTOCONNECT, &format, 1) < 0) {
        return false;
      }
    }
    return true;
  }

  static void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* stream = static_cast<Stream*>(data);
    if (!param || id != SPA_PARAM_Format) return;
    MutterCast& self = *stream->owner;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) >= 0) {
      stream->scale = StreamScale(self.monitors_[stream->monitor].width, info.size.width);
    }
    std::array<std::uint8_t, 1024> buffer{};
    spa_pod_builder b{};
    spa_pod_builder_init(&b, buffer.data(), buffer.size());
    std::array<const spa_pod*, 2> params = BufferParams(b);
    self.pw_.stream_update_params(stream->stream, params.data(), params.size());
  }

  static void OnProcess(void* data) {
    auto* stream = static_cast<Stream*>(data);
    MutterCast& self = *stream->owner;
    while (pw_buffer* const buffer = self.pw_.stream_dequeue_buffer(stream->stream)) {
      stream->framed = true;
      const auto* cursor = static_cast<const spa_meta_cursor*>(
          spa_buffer_find_meta_data(buffer->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
      if (cursor) {
        // An id of 0: the pointer is on another monitor, or hidden.
        stream->shows_pointer = cursor->id != 0;
        stream->x = cursor->position.x;
        stream->y = cursor->position.y;
        stream->order = ++self.frames_;
      }
      self.pw_.stream_queue_buffer(stream->stream, buffer);
    }
    self.pw_.thread_loop_signal(self.thread_, false);
  }

  void Close() {
    if (started_) pw_.thread_loop_lock(thread_);
    for (const auto& stream : streams_) {
      if (stream->stream) pw_.stream_destroy(stream->stream);
    }
    if (core_) pw_.core_disconnect(core_);
    if (started_) {
      pw_.thread_loop_unlock(thread_);
      pw_.thread_loop_stop(thread_);
    }
    streams_.clear();
    if (context_) pw_.context_destroy(context_);
    if (thread_) pw_.thread_loop_destroy(thread_);
    core_ = nullptr;
    context_ = nullptr;
    thread_ = nullptr;
    started_ = false;
    // Stopping the remote desktop stops its cast too. Mutter would end both once the bus
    // connection closes, but that it tells only in its log.
    const Clock::time_point deadline = Clock::now() + kCallLimit;
    if (!remote_session_.empty()) {
      bus_.Call(deadline, kRemoteDesktop, remote_session_.c_str(), kRemoteDesktopSession, "Stop",
                "");
    } else if (!cast_session_.empty()) {
      bus_.Call(deadline, kScreenCast, cast_session_.c_str(), kScreenCastSession, "Stop", "");
    }
    bus_.Close();
  }

  const PipeWire& pw_;
  LocalBus bus_{LocalBus::Kind::kSession};
  std::string remote_session_;
  std::string cast_session_;
  std::vector<Monitor> monitors_;
  std::vector<std::unique_ptr<Stream>> streams_;
  pw_thread_loop* thread_ = nullptr;
  bool started_ = false;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  std::uint64_t frames_ = 0;
};

class MutterCaster final : public Caster {
 public:
  explicit MutterCaster(const PipeWire& pw) : pw_(pw) {}

  std::unique_ptr<Cast> Open(bool input, std::string& failure) override {
    auto cast = std::make_unique<MutterCast>(pw_);
    if (!cast->Open(input, failure)) return nullptr;
    return cast;
  }

 private:
  const PipeWire& pw_;
};

// Whether PipeWire's daemon answers: connected to and left at once.
bool PipeWireAnswers(const PipeWire& pw) {
  pw_loop* const loop = pw.loop_new(nullptr);
  if (!loop) return false;
  pw_context* const context = pw.context_new(loop, nullptr, 0);
  pw_core* const core = context ? pw.context_connect(context, nullptr, 0) : nullptr;
  if (core) pw.core_disconnect(core);
  if (context) pw.context_destroy(context);
  pw.loop_destroy(loop);
  return core != nullptr;
}

}  // namespace

std::unique_ptr<Caster> OpenMutterCaster(std::string& missing) {
  LocalBus bus(LocalBus::Kind::kSession);
  const Clock::time_point deadline = Clock::now() + kOpenLimit;
  const bool offered =
      bus.Connect(deadline) &&
      Version(bus, deadline, kRemoteDesktop, "/org/gnome/Mutter/RemoteDesktop").value_or(0) >= 1 &&
      Version(bus, deadline, kScreenCast, "/org/gnome/Mutter/ScreenCast").value_or(0) >= 1;
  if (!offered) {
    missing = "GNOME offers no remote desktop and screen cast on the session bus";
    return nullptr;
  }
  const PipeWire* const pw = LoadPipeWire();
  if (!pw) {
    missing = "PipeWire's library (libpipewire-0.3) isn't installed";
    return nullptr;
  }
  if (!PipeWireAnswers(*pw)) {
    missing = "PipeWire isn't running";
    return nullptr;
  }
  return std::make_unique<MutterCaster>(*pw);
}

}  // namespace shared::gnome
