// Reads the text of the desktop's CLIPBOARD selection straight from the X server, on a
// connection of its own. The caller's thread, not the window thread, waits for the clipboard's
// owner, and each wait has a bound: an owner that answers slowly or never cannot hold the
// window, and a large text arrives in pieces (INCR) without the window taking part.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace velarn {

class SelectionReader {
 public:
  enum class Outcome {
    kText,      // utf8 holds the clipboard's text (it may be empty)
    kNoText,    // no owner, or the owner offers no text (an image, say)
    kTimedOut,  // the owner did not answer, or stopped in the middle of a transfer
    kTooLarge,  // the text is larger than kMaxBytes; nothing of it is kept
    kInterrupted,  // Interrupt() was called
    kFailed,    // the connection to the X server broke
  };
  // Far beyond any text a person copies; an owner sending without end must not exhaust memory.
  static constexpr std::size_t kMaxBytes = std::size_t{256} << 20;
  struct Result {
    Outcome outcome = Outcome::kFailed;
    std::string utf8;
  };

  // Connects to `display` (null: $DISPLAY). Empty when there is no X server to connect to.
  static std::optional<SelectionReader> Open(const char* display = nullptr);

  SelectionReader(SelectionReader&&) noexcept;
  SelectionReader& operator=(SelectionReader&&) noexcept;
  ~SelectionReader();

  // Asks the owner of CLIPBOARD for its text as UTF8_STRING (else as Latin-1 STRING, returned
  // converted to UTF-8) and waits for it. `idle_bound` bounds each wait: for the owner's first
  // answer and for every piece of a transfer in pieces. Not for use from two threads at once.
  Result ReadClipboard(std::chrono::milliseconds idle_bound);

  // Ends the read under way, or the next one, with kInterrupted. From any thread.
  void Interrupt();

  struct Connection;  // the connection, its window and atoms; opaque

 private:
  explicit SelectionReader(std::unique_ptr<Connection> connection);
  std::unique_ptr<Connection> connection_;
};

}  // namespace velarn
