#include "tests/support/X11SelectionOwner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace velarn::test {
namespace {

using Clock = std::chrono::steady_clock;

// A requestor that stops taking the pieces of a transfer is given up after this long.
constexpr auto kTransferIdleLimit = std::chrono::seconds(10);
// How long taking the clipboard may wait for the server's time stamp.
constexpr auto kOwnershipWait = std::chrono::seconds(5);
// Requests kept while stuck; the oldest are dropped past this.
constexpr std::size_t kMaxHeld = 256;

// A 1x1 grey PNG: what an image-only owner hands out.
constexpr std::array<unsigned char, 67> kPng{
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00,
    0x00, 0x3a, 0x7e, 0x9b, 0x55, 0x00, 0x00, 0x00, 0x0a, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0xf8, 0x0f, 0x00, 0x01, 0x01, 0x01, 0x00, 0xb1, 0x38, 0xf6, 0x14, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

struct Disconnect {
  void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

// Wakes the serving thread from its poll.
class EventFd {
 public:
  EventFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  EventFd(const EventFd&) = delete;
  EventFd& operator=(const EventFd&) = delete;
  ~EventFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }
  void Signal() const {
    const std::uint64_t one = 1;
    (void)::write(fd_, &one, sizeof one);
  }
  void Drain() const {
    std::uint64_t count = 0;
    (void)::read(fd_, &count, sizeof count);
  }

 private:
  int fd_;
};

// The text in Latin-1 (what STRING holds), or empty when it has characters beyond U+00FF.
std::optional<std::string> ToLatin1(std::string_view utf8) {
  std::string latin1;
  latin1.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      latin1.push_back(static_cast<char>(lead));
      i += 1;
      continue;
    }
    // U+0080..U+00FF are the two-byte sequences C2 xx and C3 xx.
    if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size() &&
        (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
      latin1.push_back(static_cast<char>(((lead & 0x03) << 6) |
                                         (static_cast<unsigned char>(utf8[i + 1]) & 0x3F)));
      i += 2;
      continue;
    }
    return std::nullopt;
  }
  return latin1;
}

using Mode = X11SelectionOwner::Mode;

bool OffersUtf8(Mode mode) { return mode == Mode::kAnswer || mode == Mode::kStopMidIncr; }
bool OffersLatin1(Mode mode) { return OffersUtf8(mode) || mode == Mode::kLatin1Only; }

}  // namespace

struct X11SelectionOwner::Server {
  // A text going out in pieces to one requestor's property.
  struct Transfer {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::shared_ptr<const std::string> data;
    std::size_t offset = 0;
    bool stop_after_first = false;  // kStopMidIncr when the transfer began
    bool silent = false;            // stopped on purpose: deletions are no longer answered
    Clock::time_point last_activity;
  };
  struct Command {
    std::function<bool()> work;
    std::promise<bool> done;
  };

  std::unique_ptr<xcb_connection_t, Disconnect> connection;
  xcb_window_t window = 0;
  xcb_atom_t clipboard = XCB_ATOM_NONE;
  xcb_atom_t targets = XCB_ATOM_NONE;
  xcb_atom_t timestamp = XCB_ATOM_NONE;
  xcb_atom_t utf8_string = XCB_ATOM_NONE;
  xcb_atom_t incr = XCB_ATOM_NONE;
  xcb_atom_t png = XCB_ATOM_NONE;
  xcb_atom_t time_probe = XCB_ATOM_NONE;  // our window's property whose changes tell the time
  std::size_t max_piece = 0;              // the data one ChangeProperty request can carry
  EventFd wake;

  std::atomic<Mode> mode{Mode::kAnswer};
  std::atomic<std::size_t> chunk_size{std::size_t{64} << 10};
  std::atomic<std::size_t> requests{0};

  std::mutex mutex;  // guards commands, stopping, ended and held_count
  std::deque<Command> commands;
  bool stopping = false;
  bool ended = false;
  std::size_t held_count = 0;  // requests held since the start
  std::condition_variable held_changed;

  // The serving thread's own.
  std::shared_ptr<const std::string> text = std::make_shared<const std::string>();
  bool owned = false;
  xcb_timestamp_t owned_since = 0;  // the latest taking of the clipboard
  xcb_timestamp_t kept_since = 0;   // the start of the ownership kept without a break
  std::deque<Reply<xcb_generic_event_t>> deferred;  // arrived while waiting for a time stamp
  std::deque<xcb_selection_request_event_t> held;
  std::map<std::pair<xcb_window_t, xcb_atom_t>, Transfer> transfers;

  xcb_connection_t* c() const { return connection.get(); }

  // Runs `work` on the serving thread and returns its result; false once serving ended.
  bool Call(std::function<bool()> work) {
    std::future<bool> done;
    {
      const std::lock_guard lock(mutex);
      if (stopping || ended) return false;
      commands.push_back({std::move(work), {}});
      done = commands.back().done.get_future();
    }
    wake.Signal();
    return done.get();
  }

  void Run() {
    const int x_fd = xcb_get_file_descriptor(c());
    for (;;) {
      ExpireTransfers();
      bool busy = false;
      {
        std::unique_lock lock(mutex);
        if (stopping) break;
        while (!commands.empty()) {
          Command command = std::move(commands.front());
          commands.pop_front();
          lock.unlock();
          command.done.set_value(command.work());
          lock.lock();
          busy = true;
        }
      }
      xcb_flush(c());
      while (Reply<xcb_generic_event_t> event = NextEvent()) {
        Dispatch(*event);
        busy = true;
      }
      if (xcb_connection_has_error(c()) != 0) break;
      if (busy) continue;  // answers written since the flush go out on the next round
      std::array<pollfd, 2> fds{{{x_fd, POLLIN, 0}, {wake.fd(), POLLIN, 0}}};
      // Without a transfer there is nothing to expire: sleep until an event or a command.
      const int timeout_ms = transfers.empty() ? -1 : 1000;
      (void)::poll(fds.data(), fds.size(), timeout_ms);
      wake.Drain();
    }
    const std::lock_guard lock(mutex);
    ended = true;
    for (Command& command : commands) command.done.set_value(false);
    commands.clear();
  }

  Reply<xcb_generic_event_t> NextEvent() {
    if (!deferred.empty()) {
      Reply<xcb_generic_event_t> event = std::move(deferred.front());
      deferred.pop_front();
      return event;
    }
    return Reply<xcb_generic_event_t>(xcb_poll_for_event(c()));
  }

  void Dispatch(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7F) {
      case 0: {  // an error: a requestor's window that is gone ends its transfers
        const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
        if (error.error_code == XCB_WINDOW) DropTransfers(error.resource_id);
        break;
      }
      case XCB_SELECTION_REQUEST: {
        const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(event);
        requests.fetch_add(1);
        const Mode now = mode.load();
        const bool for_text = request.target != targets && request.target != timestamp;
        if (now == Mode::kStuck || (now == Mode::kStuckOnText && for_text)) {
          Hold(request);
        } else {
          Answer(request, now == Mode::kStuckOnText ? Mode::kAnswer : now, /*late=*/false);
        }
        break;
      }
      case XCB_SELECTION_CLEAR: {
        const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
        if (clear.selection == clipboard && clear.owner == window) owned = false;
        break;
      }
      case XCB_PROPERTY_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (notify.window != window && notify.state == XCB_PROPERTY_DELETE) {
          NextPiece(notify.window, notify.atom);
        }
        break;
      }
      default:
        break;
    }
  }

  // Takes the clipboard with a time stamp from the server, as ICCCM asks (not CurrentTime).
  bool TakeOwnership(std::string utf8) {
    xcb_change_property(c(), XCB_PROP_MODE_APPEND, window, time_probe, XCB_ATOM_INTEGER, 32, 0,
                        nullptr);
    xcb_flush(c());
    const Clock::time_point deadline = Clock::now() + kOwnershipWait;
    xcb_timestamp_t time = 0;
    for (bool stamped = false; !stamped;) {
      Reply<xcb_generic_event_t> event(xcb_poll_for_event(c()));
      if (!event) {
        if (xcb_connection_has_error(c()) != 0) return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{xcb_get_file_descriptor(c()), POLLIN, 0};
        (void)::poll(&fd, 1, static_cast<int>(left.count()));
        continue;
      }
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
      if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY && notify->window == window &&
          notify->atom == time_probe) {
        time = notify->time;
        stamped = true;
      } else {
        deferred.push_back(std::move(event));  // served in order once the clipboard is ours
      }
    }
    xcb_set_selection_owner(c(), window, clipboard, time);
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c(), xcb_get_selection_owner(c(), clipboard), nullptr));
    if (!owner || owner->owner != window) return false;
    if (!owned) kept_since = time;
    owned = true;
    owned_since = time;
    text = std::make_shared<const std::string>(std::move(utf8));
    return true;
  }

  void Hold(const xcb_selection_request_event_t& request) {
    if (held.size() == kMaxHeld) held.pop_front();
    held.push_back(request);
    {
      const std::lock_guard lock(mutex);
      ++held_count;
    }
    held_changed.notify_all();
  }

  void AnswerHeldRequests() {
    while (!held.empty()) {
      Answer(held.front(), Mode::kAnswer, /*late=*/true);
      held.pop_front();
    }
    // A round trip: the server has passed the answers on when its reply comes.
    std::free(xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr));
  }

  // Writes the answer's property, then tells the requestor (ICCCM 2.2). A `late` answer is
  // given whatever became of the clipboard since the request.
  void Answer(const xcb_selection_request_event_t& request, Mode how, bool late) {
    // Old requestors give no property: the target's name serves as one.
    const xcb_atom_t property =
        request.property == XCB_ATOM_NONE ? request.target : request.property;
    // A request from before the clipboard was ours is for another owner's data.
    const bool ours = late || (owned && request.selection == clipboard &&
                               (request.time == XCB_CURRENT_TIME || request.time >= kept_since));
    const bool served = ours && Serve(request, property, how);

    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = served ? property : xcb_atom_t{XCB_ATOM_NONE};
    // SendEvent takes 32 bytes, more than the notice's own fields.
    std::array<char, 32> wire{};
    static_assert(sizeof notify <= wire.size());
    std::memcpy(wire.data(), &notify, sizeof notify);
    xcb_send_event(c(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire.data());
  }

  // False when the target is refused.
  bool Serve(const xcb_selection_request_event_t& request, xcb_atom_t property, Mode how) {
    const xcb_atom_t target = request.target;
    if (target == targets) {
      std::vector<xcb_atom_t> offered{targets, timestamp};
      if (how == Mode::kImageOnly) offered.push_back(png);
      if (OffersUtf8(how)) offered.push_back(utf8_string);
      if (OffersLatin1(how) && ToLatin1(*text)) offered.push_back(XCB_ATOM_STRING);
      xcb_change_property(c(), XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM,
                          32, static_cast<std::uint32_t>(offered.size()), offered.data());
      return true;
    }
    if (target == timestamp) {
      xcb_change_property(c(), XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER,
                          32, 1, &owned_since);
      return true;
    }
    const bool stop_after_first = how == Mode::kStopMidIncr;
    if (target == utf8_string && OffersUtf8(how)) {
      Send(request.requestor, property, utf8_string, text, stop_after_first);
      return true;
    }
    if (target == XCB_ATOM_STRING && OffersLatin1(how)) {
      std::optional<std::string> latin1 = ToLatin1(*text);
      if (!latin1) return false;  // STRING cannot hold this text
      Send(request.requestor, property, XCB_ATOM_STRING,
           std::make_shared<const std::string>(std::move(*latin1)), stop_after_first);
      return true;
    }
    if (target == png && how == Mode::kImageOnly) {
      Send(request.requestor, property, png,
           std::make_shared<const std::string>(kPng.begin(), kPng.end()), false);
      return true;
    }
    return false;
  }

  // Once serving stopped. Only while still ours, and with the time it was taken, which does
  // nothing if another program took the clipboard later. The round trip makes the release
  // done before the caller goes on: a next test starts with no owner.
  void GiveUp() {
    if (!owned || xcb_connection_has_error(c()) != 0) return;
    xcb_set_selection_owner(c(), XCB_WINDOW_NONE, clipboard, owned_since);
    std::free(xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr));
  }

  // The largest piece one ChangeProperty request can carry, or the chosen size if smaller.
  std::size_t PieceSize() const { return std::clamp<std::size_t>(chunk_size.load(), 1, max_piece); }

  void Send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
            std::shared_ptr<const std::string> data, bool stop_after_first) {
    if (data->size() <= PieceSize()) {
      xcb_change_property(c(), XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                          static_cast<std::uint32_t>(data->size()), data->data());
      return;
    }
    // In pieces (ICCCM 2.7.2): watch the requestor's deletions before it learns of the
    // transfer, so that the deletion of the INCR property is not missed.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c(), requestor, XCB_CW_EVENT_MASK, &mask);
    const auto size = static_cast<std::uint32_t>(
        std::min<std::size_t>(data->size(), std::numeric_limits<std::uint32_t>::max()));
    xcb_change_property(c(), XCB_PROP_MODE_REPLACE, requestor, property, incr, 32, 1, &size);
    transfers[{requestor, property}] =
        Transfer{type, std::move(data), 0, stop_after_first, false, Clock::now()};
  }

  // The requestor deleted `property`: the next piece of a transfer to it, if one is under way;
  // a piece of no bytes ends it.
  void NextPiece(xcb_window_t requestor, xcb_atom_t property) {
    const auto it = transfers.find({requestor, property});
    if (it == transfers.end() || it->second.silent) return;
    Transfer& transfer = it->second;
    const std::size_t length = std::min(PieceSize(), transfer.data->size() - transfer.offset);
    xcb_change_property(c(), XCB_PROP_MODE_REPLACE, requestor, property, transfer.type, 8,
                        static_cast<std::uint32_t>(length),
                        transfer.data->data() + transfer.offset);
    transfer.offset += length;
    transfer.last_activity = Clock::now();
    if (length == 0) {
      transfers.erase(it);
      StopWatchingIfDone(requestor);
    } else if (transfer.stop_after_first) {
      transfer.silent = true;
    }
  }

  void StopWatchingIfDone(xcb_window_t requestor) {
    const auto other = std::find_if(transfers.begin(), transfers.end(),
                                    [&](const auto& t) { return t.first.first == requestor; });
    if (other != transfers.end()) return;
    const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(c(), requestor, XCB_CW_EVENT_MASK, &none);
  }

  void DropTransfers(xcb_window_t requestor) {
    std::erase_if(transfers, [&](const auto& t) { return t.first.first == requestor; });
  }

  void ExpireTransfers() {
    const Clock::time_point now = Clock::now();
    std::vector<xcb_window_t> given_up;
    std::erase_if(transfers, [&](const auto& t) {
      if (now - t.second.last_activity < kTransferIdleLimit) return false;
      given_up.push_back(t.first.first);
      return true;
    });
    for (const xcb_window_t requestor : given_up) StopWatchingIfDone(requestor);
  }
};

std::optional<X11SelectionOwner> X11SelectionOwner::Open(std::string utf8, const char* display) {
  auto server = std::make_unique<Server>();
  int screen_number = 0;
  server->connection.reset(xcb_connect(display, &screen_number));
  xcb_connection_t* c = server->c();
  if (xcb_connection_has_error(c) != 0 || server->wake.fd() < 0) return std::nullopt;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) return std::nullopt;

  // Unmapped and input-only: it only owns the clipboard and tells the server's time.
  server->window = xcb_generate_id(c);
  const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(c, 0, server->window, screens.data->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);

  const std::array<std::pair<xcb_atom_t*, std::string_view>, 7> atoms{{
      {&server->clipboard, "CLIPBOARD"},
      {&server->targets, "TARGETS"},
      {&server->timestamp, "TIMESTAMP"},
      {&server->utf8_string, "UTF8_STRING"},
      {&server->incr, "INCR"},
      {&server->png, "image/png"},
      {&server->time_probe, "VELARN_TEST_OWNER_TIME"},
  }};
  std::array<xcb_intern_atom_cookie_t, atoms.size()> cookies{};
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(atoms[i].second.size()),
                                 atoms[i].second.data());
  }
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr));
    if (!reply) return std::nullopt;
    *atoms[i].first = reply->atom;
  }

  server->max_piece =
      std::size_t{xcb_get_maximum_request_length(c)} * 4 - sizeof(xcb_change_property_request_t);

  X11SelectionOwner owner(std::move(server));
  if (!owner.SetText(std::move(utf8))) return std::nullopt;
  return owner;
}

X11SelectionOwner::X11SelectionOwner(std::unique_ptr<Server> server)
    : server_(std::move(server)), thread_([s = server_.get()] { s->Run(); }) {}

X11SelectionOwner::X11SelectionOwner(X11SelectionOwner&&) noexcept = default;

X11SelectionOwner& X11SelectionOwner::operator=(X11SelectionOwner&& other) noexcept {
  if (this != &other) {
    Stop();
    server_ = std::move(other.server_);
    thread_ = std::move(other.thread_);
  }
  return *this;
}

X11SelectionOwner::~X11SelectionOwner() { Stop(); }

void X11SelectionOwner::Stop() {
  if (!server_) return;
  {
    const std::lock_guard lock(server_->mutex);
    server_->stopping = true;
  }
  server_->wake.Signal();
  if (thread_.joinable()) thread_.join();
  server_->GiveUp();
  server_.reset();
}

bool X11SelectionOwner::SetText(std::string utf8) {
  Server* s = server_.get();
  return s != nullptr && s->Call([s, text = std::move(utf8)]() mutable {
    return s->TakeOwnership(std::move(text));
  });
}

void X11SelectionOwner::SetMode(Mode mode) { server_->mode.store(mode); }

void X11SelectionOwner::SetChunkSize(std::size_t bytes) { server_->chunk_size.store(bytes); }

void X11SelectionOwner::AnswerHeld() {
  Server* s = server_.get();
  s->Call([s] {
    s->AnswerHeldRequests();
    return true;
  });
}

bool X11SelectionOwner::WaitForHeld(std::size_t count, std::chrono::milliseconds bound) {
  std::unique_lock lock(server_->mutex);
  return server_->held_changed.wait_for(lock, bound, [&] { return server_->held_count >= count; });
}

std::size_t X11SelectionOwner::RequestCount() const { return server_->requests.load(); }

}  // namespace velarn::test
