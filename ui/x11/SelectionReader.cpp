#include "ui/x11/SelectionReader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace velarn {
namespace {

using Clock = std::chrono::steady_clock;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Owned(T* reply) {
  return Reply<T>(reply, &std::free);
}

xcb_atom_t InternAtom(xcb_connection_t* c, std::string_view name) {
  const Reply<xcb_intern_atom_reply_t> reply = Owned(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void AppendLatin1AsUtf8(std::string_view latin1, std::string& out) {
  for (const char ch : latin1) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x80) {
      out.push_back(ch);
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
}

}  // namespace

struct SelectionReader::Connection {
  xcb_connection_t* c = nullptr;
  xcb_window_t window = 0;
  int interrupt_fd = -1;
  xcb_atom_t clipboard = XCB_ATOM_NONE;
  xcb_atom_t targets = XCB_ATOM_NONE;
  xcb_atom_t utf8_string = XCB_ATOM_NONE;
  xcb_atom_t text_plain_utf8 = XCB_ATOM_NONE;
  xcb_atom_t incr = XCB_ATOM_NONE;
  // Two properties used in turn: an owner answering a request that was given up writes to the
  // other one, and its late pieces cannot mix into the current transfer.
  std::array<xcb_atom_t, 2> properties{};
  // Written only to learn the server's time, so no late answer can be taken for that.
  xcb_atom_t time_property = XCB_ATOM_NONE;
  unsigned requests = 0;

  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (interrupt_fd >= 0) ::close(interrupt_fd);
    if (c != nullptr) xcb_disconnect(c);
  }
};

namespace {

enum class Wait { kEvent, kTimedOut, kInterrupted, kFailed };

bool Interrupted(int interrupt_fd) {
  std::uint64_t count = 0;
  return ::read(interrupt_fd, &count, sizeof count) == sizeof count;
}

// The next event from the server, waiting at most until `deadline`.
Wait NextEvent(SelectionReader::Connection& k, Clock::time_point deadline,
               Reply<xcb_generic_event_t>& event) {
  for (;;) {
    if (Interrupted(k.interrupt_fd)) return Wait::kInterrupted;
    event = Owned(xcb_poll_for_event(k.c));
    if (event) return Wait::kEvent;
    if (xcb_connection_has_error(k.c) != 0) return Wait::kFailed;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return Wait::kTimedOut;
    std::array<pollfd, 2> fds{{{xcb_get_file_descriptor(k.c), POLLIN, 0},
                               {k.interrupt_fd, POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return Wait::kFailed;
    }
  }
}

SelectionReader::Outcome Failure(Wait wait) {
  switch (wait) {
    case Wait::kTimedOut: return SelectionReader::Outcome::kTimedOut;
    case Wait::kInterrupted: return SelectionReader::Outcome::kInterrupted;
    default: return SelectionReader::Outcome::kFailed;
  }
}

// A server time stamp for a request, as ICCCM asks (not CurrentTime): a zero-length append to
// our own window's property comes back as a PropertyNotify carrying the server's time. The
// owner echoes it in its answer, which tells this request's answer from a late one.
Wait ServerTime(SelectionReader::Connection& k, Clock::time_point deadline, xcb_timestamp_t& time) {
  const xcb_atom_t property = k.time_property;
  xcb_change_property(k.c, XCB_PROP_MODE_APPEND, k.window, property, XCB_ATOM_STRING, 8, 0,
                      nullptr);
  xcb_flush(k.c);
  for (;;) {
    Reply<xcb_generic_event_t> event = Owned<xcb_generic_event_t>(nullptr);
    if (const Wait w = NextEvent(k, deadline, event); w != Wait::kEvent) return w;
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) continue;
    const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
    if (notify->window == k.window && notify->atom == property) {
      time = notify->time;
      return Wait::kEvent;
    }
  }
}

// A property's value as read: its type, its format (8, 16 or 32 bits an item) and its bytes.
struct Value {
  xcb_atom_t type = XCB_ATOM_NONE;
  std::uint8_t format = 0;
  std::string bytes;
};

// The whole value of `property` on our window, deleted once read. False when the connection
// broke.
bool TakeProperty(SelectionReader::Connection& k, xcb_atom_t property, Value& value) {
  value = {};
  std::uint32_t offset = 0;  // in 32-bit units
  for (;;) {
    // Read in slices: a huge value in one reply would need one buffer of its whole size more.
    constexpr std::uint32_t kSliceUnits = 1 << 20;
    const Reply<xcb_get_property_reply_t> reply = Owned(xcb_get_property_reply(
        k.c, xcb_get_property(k.c, 0, k.window, property, XCB_GET_PROPERTY_TYPE_ANY, offset,
                              kSliceUnits),
        nullptr));
    if (!reply) return false;
    value.type = reply->type;
    value.format = reply->format;
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
    value.bytes.append(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    if (reply->bytes_after == 0 || value.bytes.size() > SelectionReader::kMaxBytes) break;
    offset += static_cast<std::uint32_t>(length / 4);
  }
  xcb_delete_property(k.c, k.window, property);
  xcb_flush(k.c);
  return true;
}

// What the owner of CLIPBOARD answers when asked for `target`: kText with the value, kNoText
// when it refuses, or why no answer came.
SelectionReader::Outcome Convert(SelectionReader::Connection& k, xcb_atom_t property,
                                 xcb_timestamp_t time, xcb_atom_t target,
                                 std::chrono::milliseconds idle_bound, Value& value) {
  using Outcome = SelectionReader::Outcome;
  xcb_delete_property(k.c, k.window, property);
  xcb_convert_selection(k.c, k.window, k.clipboard, target, property, time);
  xcb_flush(k.c);
  // The owner's answer to this request; answers to requests given up earlier are passed over.
  Reply<xcb_generic_event_t> event = Owned<xcb_generic_event_t>(nullptr);
  Clock::time_point deadline = Clock::now() + idle_bound;
  for (;;) {
    if (const Wait w = NextEvent(k, deadline, event); w != Wait::kEvent) return Failure(w);
    if ((event->response_type & 0x7F) != XCB_SELECTION_NOTIFY) continue;
    const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
    // Some owners answer with CurrentTime instead of echoing the request's time.
    if (notify->requestor != k.window || notify->selection != k.clipboard ||
        notify->target != target ||
        (notify->time != time && notify->time != XCB_CURRENT_TIME)) {
      continue;
    }
    if (notify->property == XCB_ATOM_NONE) return Outcome::kNoText;  // refused
    break;
  }
  if (!TakeProperty(k, property, value)) return Outcome::kFailed;
  if (value.type != k.incr) {
    return value.bytes.size() > SelectionReader::kMaxBytes ? Outcome::kTooLarge : Outcome::kText;
  }

  // A transfer in pieces: taking the INCR property started it; each new value of the property
  // is the next piece, and an empty one ends it.
  std::string whole;
  for (;;) {
    deadline = Clock::now() + idle_bound;
    for (bool new_value = false; !new_value;) {
      if (const Wait w = NextEvent(k, deadline, event); w != Wait::kEvent) return Failure(w);
      if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) continue;
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
      new_value = notify->window == k.window && notify->atom == property &&
                  notify->state == XCB_PROPERTY_NEW_VALUE;
    }
    if (!TakeProperty(k, property, value)) return Outcome::kFailed;
    if (value.bytes.empty()) break;
    // Given up past the limit: the owner waits for a deletion that does not come, and its late
    // pieces land in this property, which is deleted before its next use.
    if (whole.size() + value.bytes.size() > SelectionReader::kMaxBytes) return Outcome::kTooLarge;
    whole += value.bytes;
  }
  value.bytes = std::move(whole);
  return Outcome::kText;
}

// The text form to ask for among the owner's TARGETS: UTF-8 first, else Latin-1.
xcb_atom_t TextTarget(const SelectionReader::Connection& k, const Value& targets) {
  if (targets.format != 32 || targets.type != XCB_ATOM_ATOM) return XCB_ATOM_NONE;
  std::vector<xcb_atom_t> offered(targets.bytes.size() / sizeof(xcb_atom_t));
  std::memcpy(offered.data(), targets.bytes.data(), offered.size() * sizeof(xcb_atom_t));
  for (const xcb_atom_t wanted : {k.utf8_string, k.text_plain_utf8, xcb_atom_t{XCB_ATOM_STRING}}) {
    if (std::find(offered.begin(), offered.end(), wanted) != offered.end()) return wanted;
  }
  return XCB_ATOM_NONE;
}

}  // namespace

std::optional<SelectionReader> SelectionReader::Open(const char* display) {
  auto k = std::make_unique<Connection>();
  int screen_number = 0;
  k->c = xcb_connect(display, &screen_number);
  if (xcb_connection_has_error(k->c) != 0) return std::nullopt;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(k->c));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) return std::nullopt;
  k->interrupt_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (k->interrupt_fd < 0) return std::nullopt;

  // An unmapped input-only window: the owner writes the text to its properties.
  k->window = xcb_generate_id(k->c);
  const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(k->c, 0, k->window, screens.data->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                    &events);
  k->clipboard = InternAtom(k->c, "CLIPBOARD");
  k->targets = InternAtom(k->c, "TARGETS");
  k->utf8_string = InternAtom(k->c, "UTF8_STRING");
  k->text_plain_utf8 = InternAtom(k->c, "text/plain;charset=utf-8");
  k->incr = InternAtom(k->c, "INCR");
  k->properties = {InternAtom(k->c, "VELARN_SELECTION_A"), InternAtom(k->c, "VELARN_SELECTION_B")};
  k->time_property = InternAtom(k->c, "VELARN_SELECTION_TIME");
  for (const xcb_atom_t atom : {k->clipboard, k->targets, k->utf8_string, k->text_plain_utf8,
                                k->incr, k->properties[0], k->properties[1], k->time_property}) {
    if (atom == XCB_ATOM_NONE) return std::nullopt;
  }
  return SelectionReader(std::move(k));
}

SelectionReader::SelectionReader(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}
SelectionReader::SelectionReader(SelectionReader&&) noexcept = default;
SelectionReader& SelectionReader::operator=(SelectionReader&&) noexcept = default;
SelectionReader::~SelectionReader() = default;

void SelectionReader::Interrupt() {
  const std::uint64_t one = 1;
  (void)::write(connection_->interrupt_fd, &one, sizeof one);
}

SelectionReader::Result SelectionReader::ReadClipboard(std::chrono::milliseconds idle_bound) {
  Connection& k = *connection_;
  const xcb_atom_t property = k.properties[k.requests++ % 2];
  xcb_timestamp_t time = 0;
  if (const Wait w = ServerTime(k, Clock::now() + idle_bound, time); w != Wait::kEvent) {
    return {Failure(w), {}};
  }

  // The owner's list of forms first: many owners hand their data out for any target asked,
  // and an image must not be taken for text.
  Value value;
  Outcome outcome = Convert(k, property, time, k.targets, idle_bound, value);
  if (outcome != Outcome::kText && outcome != Outcome::kNoText) return {outcome, {}};
  std::vector<xcb_atom_t> asked;
  if (outcome == Outcome::kText) {
    asked = {TextTarget(k, value)};
    if (asked.front() == XCB_ATOM_NONE) return {Outcome::kNoText, {}};
  } else {
    asked = {k.utf8_string, XCB_ATOM_STRING};  // an owner older than TARGETS
  }
  for (const xcb_atom_t target : asked) {
    outcome = Convert(k, property, time, target, idle_bound, value);
    if (outcome == Outcome::kNoText) continue;
    if (outcome != Outcome::kText) return {outcome, {}};
    if (value.format != 8) return {Outcome::kNoText, {}};
    Result result{Outcome::kText, {}};
    if (target == XCB_ATOM_STRING) {
      AppendLatin1AsUtf8(value.bytes, result.utf8);
    } else {
      result.utf8 = std::move(value.bytes);
    }
    return result;
  }
  return {Outcome::kNoText, {}};
}

}  // namespace velarn
