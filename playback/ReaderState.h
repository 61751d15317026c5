// The one model that the window thread and both workers share: what the handlers and workers
// read and write on the window's controls, and the reader state (queues, current clip, flags,
// markers). Everything lives behind one lock; the views learn of changes through one listener.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/waits/Waits.h"
#include "text/Text.h"

namespace velarn {

// Marker values, compared byte for byte.
inline constexpr std::string_view kTagNone = "";
inline constexpr std::string_view kTagRequested = "N";  // TextBox.tag: synthesis requested
inline constexpr std::string_view kTagDone = "Y";       // TextBox.tag: last run ended
inline constexpr std::string_view kTagSet = " ";        // PlayButton.tag stop, SaveButton.tag save

// TextBox selection in bytes of its GBK text. A start of -1 puts the caret at the end.
struct Selection {
  std::int64_t start = 0;
  std::int64_t length = 0;
  bool operator==(const Selection&) const = default;
};

struct QueuedClip {
  ByteString clip;
  Text text;  // the chunk whose speech `clip` is
};

// Every shared value; read and written only through ReaderState.
struct SharedFields {
  // TextBox
  Text text_box_text;
  std::uint64_t text_box_serial = 0;  // grows with every write of the text
  Selection text_box_selection;
  std::uint64_t selection_serial = 0;  // grows with every write of the selection
  Text text_box_tag;
  std::uint64_t focus_requests = 0;  // grows with every request for TextBox's keyboard focus
  // PlayButton
  Text play_caption;
  Text play_button_tag;
  bool play_enabled = true;
  // SaveButton
  Text save_caption;
  Text save_button_tag;
  bool save_enabled = true;
  // SpeedBox and VoiceList
  Text speed_box_text;
  std::vector<Text> voice_rows;
  int voice_index = -1;  // -1: no row selected
  // Reader state
  std::deque<QueuedClip> clip_queue;  // ClipQueue and ClipTextQueue, kept paired
  ByteString current_clip;
  Text current_clip_text;
  std::int32_t hold_playback = 0;
  std::int32_t clip_playing = 0;
  ByteString audio_buffer;
  // Grows with every StopSounds, so that the player's wait for a clip that was cut ends at once.
  std::uint64_t sound_stops = 0;
  // Grows with every ResetReading, so that a run can tell that the text it reads was replaced
  // even when a new request follows the reset at once.
  std::uint64_t reset_generation = 0;
};

// The small fields a view shows; the text itself is read only when its serial moved.
struct ViewFields {
  std::uint64_t text_box_serial = 0;
  Selection text_box_selection;
  std::uint64_t selection_serial = 0;
  std::uint64_t focus_requests = 0;
  Text play_caption;
  bool play_enabled = true;
  Text save_caption;
  bool save_enabled = true;
  Text speed_box_text;
  int voice_index = -1;
};

class ReaderState final : public StateWatch {
 public:
  // The initial contents of the window definition.
  ReaderState();
  ReaderState(const ReaderState&) = delete;
  ReaderState& operator=(const ReaderState&) = delete;

  // Called after every change, on the thread that made it, with no lock held. Set it once,
  // before any other thread uses the state.
  void SetListener(std::function<void()> listener);

  // Runs `read` under the lock and returns its result. It must not call back into the state.
  template <typename F>
  auto Read(F&& read) const {
    std::lock_guard lock(mutex_);
    return read(static_cast<const SharedFields&>(fields_));
  }
  // Runs `update` under the lock, then tells the waiters and the listener of the change.
  template <typename F>
  auto Update(F&& update) {
    struct Notify {
      ReaderState* self;
      ~Notify() { self->Changed(); }
    } notify{this};
    std::lock_guard lock(mutex_);
    ++version_;
    return update(fields_);
  }

  // Compound operations, each indivisible.
  void AppendClip(ByteString clip, Text text);
  // The player's take: when at least one clip is queued, CurrentClip and CurrentClipText
  // become the head of the queue, which is removed; false (nothing changed) when it is empty.
  bool TakeHead();
  // TextBox.tag and PlayButton.tag become "", the queue is emptied, the reset generation grows.
  void ResetReading();
  // True when the run that started at reset generation `generation` must end: TextBox.tag is
  // neither "N" nor "Y", or a ResetReading happened since.
  bool RunAbandoned(std::uint64_t generation) const;
  // The end of a run that started at `generation`: TextBox.tag becomes "Y", except that a new
  // request ("N") made after a reset since then is kept for the next run.
  void FinishRun(std::uint64_t generation);

  // Single values, for readability at the call sites.
  Text TextBoxText() const { return Read([](const SharedFields& f) { return f.text_box_text; }); }
  bool TextBoxEmpty() const { return Read([](const SharedFields& f) { return f.text_box_text.empty(); }); }
  Text TextBoxTag() const { return Read([](const SharedFields& f) { return f.text_box_tag; }); }
  Text PlayButtonTag() const { return Read([](const SharedFields& f) { return f.play_button_tag; }); }
  Text SaveButtonTag() const { return Read([](const SharedFields& f) { return f.save_button_tag; }); }
  Text PlayCaption() const { return Read([](const SharedFields& f) { return f.play_caption; }); }
  std::size_t ClipCount() const { return Read([](const SharedFields& f) { return f.clip_queue.size(); }); }
  std::int32_t HoldPlayback() const { return Read([](const SharedFields& f) { return f.hold_playback; }); }
  std::int32_t ClipPlaying() const { return Read([](const SharedFields& f) { return f.clip_playing; }); }
  bool SaveMode() const { return Read([](const SharedFields& f) { return f.save_button_tag == kTagSet; }); }
  std::uint64_t ResetGeneration() const { return Read([](const SharedFields& f) { return f.reset_generation; }); }
  ViewFields ViewSnapshot() const;

  void SetTextBoxText(Text text);
  void SetTextBoxSelection(Selection selection);
  void RequestTextBoxFocus();
  void SetTextBoxTag(std::string_view tag);
  void SetPlayButtonTag(std::string_view tag);
  void SetSaveButtonTag(std::string_view tag);
  void SetPlayCaption(std::string_view caption);
  void SetHoldPlayback(std::int32_t value);
  void SetClipPlaying(std::int32_t value);
  void SetPlayEnabled(bool enabled);
  void SetSaveEnabled(bool enabled);

  // StateWatch
  std::uint64_t Version() const override;
  bool WaitForChange(std::uint64_t since, SteadyTime deadline) const override;

 private:
  void Changed();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::uint64_t version_ = 0;
  SharedFields fields_;
  std::function<void()> listener_;
};

}  // namespace velarn
