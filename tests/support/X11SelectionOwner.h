// A clipboard owner for tests: takes the desktop's CLIPBOARD selection on an X connection of
// its own and serves other programs' requests on a thread of its own, as a program that copied
// text does (ICCCM): TARGETS, TIMESTAMP, UTF8_STRING and STRING, a large text in pieces (INCR).
// Its modes misbehave the ways real owners do: stuck, image only, stopping mid-transfer.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace velarn::test {

class X11SelectionOwner {
 public:
  enum class Mode {
    kAnswer,       // the text as UTF8_STRING, and as STRING when Latin-1 can hold it
    kLatin1Only,   // the text as STRING only, as an old program offers it
    kImageOnly,    // image/png only; every text form refused
    kStuck,        // keeps the clipboard and answers nothing; requests kept for AnswerHeld
    kStuckOnText,  // answers TARGETS, then never sends the text (kept as kStuck keeps them)
    kStopMidIncr,  // a transfer in pieces sends its first piece, then nothing more
  };

  // Connects to `display` (null: $DISPLAY) and takes the clipboard with `utf8`. Empty when
  // there is no X server or the clipboard could not be taken.
  static std::optional<X11SelectionOwner> Open(std::string utf8, const char* display = nullptr);

  X11SelectionOwner(X11SelectionOwner&&) noexcept;
  X11SelectionOwner& operator=(X11SelectionOwner&&) noexcept;
  // Stops serving, gives the clipboard up and disconnects: once it returns, the clipboard has
  // no owner (unless another program took it meanwhile).
  ~X11SelectionOwner();

  // Serves `utf8` from now on and takes the clipboard again, so that other programs see a new
  // copy (an XFixes selection change). False when the clipboard could not be taken.
  bool SetText(std::string utf8);
  // For the requests that arrive from now on.
  void SetMode(Mode mode);
  // Texts longer than this go in pieces of this size (INCR). 64 KiB at first.
  void SetChunkSize(std::size_t bytes);
  // Answers the requests kept while stuck, now and as a normal owner would: a late answer,
  // in the requestor's hands once this returns.
  void AnswerHeld();
  // Waits until `count` requests in all have been kept unanswered; false after `bound`.
  bool WaitForHeld(std::size_t count, std::chrono::milliseconds bound);
  // Requests received so far, of any target and answered or not.
  std::size_t RequestCount() const;

  struct Server;  // the connection, its window and the transfers under way; opaque

 private:
  explicit X11SelectionOwner(std::unique_ptr<Server> server);
  void Stop();

  std::unique_ptr<Server> server_;
  std::thread thread_;
};

}  // namespace velarn::test
