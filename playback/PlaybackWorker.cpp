#include "playback/PlaybackWorker.h"

#include <algorithm>
#include <cmath>

#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "playback/SoundOutput.h"
#include "playback/WavImage.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"

namespace velarn {
namespace {

// The end-of-queue rule: after the last queued clip, unless a stop is pending, reading is over,
// the caption shows Play again and the player holds. While the synthesis of the text is still
// under way the reading is not over: the next chunk may simply not be ready yet (an engine
// that has nothing at once makes FetchAudio wait a second), and holding would leave it and
// the rest of the text queued unheard. Then the rule waits for a clip, a stop, a reset or the
// end of the run. True when it must be looked at again.
bool EndOfQueueRulePending(SharedFields& f) {
  if (!f.clip_queue.empty() || f.play_button_tag == kTagSet) return false;
  if (f.text_box_tag == kTagRequested) return true;
  f.play_caption = window::kCaptionPlay;
  f.hold_playback = 1;
  return false;
}

// The clip's wait is over: ClipPlaying becomes 0, then the end-of-queue rule. The first look
// shares one step with ClipPlaying 0, because the stop branch waits for ClipPlaying 0 and then
// resets and may start a new reading at once: a rule applied after that would see the emptied
// queue and hold the new reading before it is heard.
void EndClip(ReaderContext& context, const std::stop_token& stop) {
  bool pending = context.state.Update([](SharedFields& f) {
    f.clip_playing = 0;
    return EndOfQueueRulePending(f);
  });
  while (pending && !stop.stop_requested()) {
    context.waits.OneSecondStep();  // ends early when a clip comes
    pending = context.state.Update(EndOfQueueRulePending);
  }
}

// Plays CurrentClip and waits for it. The wait ends at once when a stop cuts the clip.
void PlayCurrentClip(ReaderContext& context, const std::stop_token& stop) {
  ReaderState& state = context.state;
  struct Start {
    ByteString clip;
    std::uint64_t stops;
  };
  const Start start = state.Read([](const SharedFields& f) {
    return Start{f.current_clip, f.sound_stops};
  });
  context.sound.PlayClip(start.clip);
  const bool cut_already = state.Update([&](SharedFields& f) {
    f.clip_playing = 1;
    return f.sound_stops != start.stops;
  });
  // A stop that came while the clip was being started must silence it too.
  if (cut_already) context.sound.StopSounds();
  // Every stop sets HoldPlayback right after StopSounds; the wait ends only then, so that the
  // player holds instead of taking its next turn before the hold is in place.
  const auto cut = [&] {
    return stop.stop_requested() || state.Read([&](const SharedFields& f) {
             return f.sound_stops != start.stops && f.hold_playback == 1;
           });
  };
  context.waits.PollingDelay(ClipWaitMilliseconds(start.clip), cut);
  EndClip(context, stop);
}

void Hold(ReaderContext& context, const std::stop_token& stop) {
  while (context.state.HoldPlayback() == 1 && !stop.stop_requested()) {
    context.waits.OneSecondStep();
  }
}

}  // namespace

std::int32_t ClipWaitMilliseconds(std::string_view clip) {
  const double whole = std::trunc(ClipSeconds(clip) * 1000.0 + 500.0);
  const std::int64_t exact = ClipPlayMilliseconds(clip);
  const double wait = std::max(whole, static_cast<double>(exact));
  return static_cast<std::int32_t>(std::min(wait, 2147483647.0));
}

void HighlightChunk(ReaderContext& context, std::string_view text) {
  context.state.Update([&](SharedFields& f) {
    const std::size_t position = FindText(f.text_box_text, text);
    if (position == 0) return;
    f.text_box_selection = {static_cast<std::int64_t>(position - 1),
                            static_cast<std::int64_t>(text.size())};
    ++f.selection_serial;
    ++f.focus_requests;
  });
}

void PlayerTurn(ReaderContext& context, std::stop_token stop) {
  ReaderState& state = context.state;
  struct Look {
    std::size_t count;
    bool text_empty;
    bool resume;
  };
  const Look look = state.Read([](const SharedFields& f) {
    return Look{f.clip_queue.size(), f.text_box_text.empty(), f.play_button_tag == kTagSet};
  });

  if (look.text_empty) {
    state.ResetReading();
    // Nothing can be read from an empty box: wait a step rather than spin.
    context.waits.OneSecondStep();
    return;
  }
  if (look.resume) {
    const Text text = state.Update([](SharedFields& f) {
      f.play_button_tag.clear();
      return f.current_clip_text;
    });
    HighlightChunk(context, text);
  } else if (look.count >= 1 && state.PlayButtonTag() != kTagSet && state.TakeHead()) {
    HighlightChunk(context,
                   state.Read([](const SharedFields& f) { return f.current_clip_text; }));
  } else {
    context.waits.OneSecondStep();
    return;
  }
  PlayCurrentClip(context, stop);
  Hold(context, stop);
}

PlaybackWorker::PlaybackWorker(ReaderContext& context)
    : context_(context), thread_([this](std::stop_token stop) {
        while (!stop.stop_requested()) PlayerTurn(context_, stop);
      }) {}

PlaybackWorker::~PlaybackWorker() {
  thread_.request_stop();
  context_.state.Update([](SharedFields&) {});  // wakes the player's wait
  thread_.join();
}

}  // namespace velarn
