// The playback worker: plays the queued clips in order, each with its text selected in
// TextBox, replays the cut clip when reading resumes, and holds at the end of the queue.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string_view>
#include <thread>

namespace velarn {

struct ReaderContext;

// How long the player waits for a clip: its whole seconds × 1000 + 500 ms, raised to the
// clip's exact playing time when that is longer, so the next clip never overlaps it.
std::int32_t ClipWaitMilliseconds(std::string_view clip);

// Selects the first occurrence of `text` in TextBox (at a character boundary) and asks for
// TextBox's focus; leaves both alone when the text does not occur.
void HighlightChunk(ReaderContext& context, std::string_view text);

// One turn of the player loop: reset, resume, take or idle. Returns when the turn (with its
// hold) is over or `stop` was requested.
void PlayerTurn(ReaderContext& context, std::stop_token stop = {});

// The player loop on its own thread. The program never stops it; destruction stops it after
// its current step and joins it.
class PlaybackWorker {
 public:
  explicit PlaybackWorker(ReaderContext& context);
  ~PlaybackWorker();
  PlaybackWorker(const PlaybackWorker&) = delete;
  PlaybackWorker& operator=(const PlaybackWorker&) = delete;

 private:
  ReaderContext& context_;
  std::jthread thread_;
};

}  // namespace velarn
