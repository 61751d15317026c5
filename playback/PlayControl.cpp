#include "playback/PlayControl.h"

#include "app/waits/Waits.h"
#include "playback/ReaderState.h"
#include "playback/StopSounds.h"
#include "resources/WindowDefinition.h"

namespace velarn {
namespace {

bool Reading(const ReaderState& state) { return state.PlayCaption() == window::kCaptionStop; }

}  // namespace

void StopAndWaitForClip(ReaderContext& context) {
  ReaderState& state = context.state;
  state.SetPlayButtonTag(kTagSet);
  StopSounds(context);
  state.SetHoldPlayback(1);
  state.SetSaveEnabled(false);
  // The player keeps ClipPlaying at 1 until the wait for the cut clip is over; re-read after
  // every step, since other handlers may run inside it.
  while (state.ClipPlaying() == 1) {
    state.SetPlayEnabled(false);
    context.waits.OneSecondStep();
  }
  state.SetPlayEnabled(true);
  state.SetSaveEnabled(true);
}

namespace {

void StartBranch(ReaderContext& context) {
  ReaderState& state = context.state;
  if (state.TextBoxEmpty()) {
    // Nothing to read: the caption shows "停 止" for a second, as the user's only answer.
    context.waits.PumpedWait(1000, kWaitMilliseconds);
    state.SetPlayCaption(window::kCaptionPlay);
    return;
  }
  if (state.PlayButtonTag() == kTagSet) {
    // Resume: the player replays the interrupted clip and goes on with the queue.
    state.SetHoldPlayback(0);
    return;
  }
  // One indivisible decision, so that the player cannot take the last clip between the test of
  // the queue and the request.
  state.Update([](SharedFields& f) {
    if (f.text_box_tag == kTagNone || f.clip_queue.empty()) {
      f.hold_playback = 0;
      f.text_box_tag = kTagRequested;
    }
  });
}

}  // namespace

void TogglePlay(ReaderContext& context) {
  ReaderState& state = context.state;
  state.RequestTextBoxFocus();
  state.Update([](SharedFields& f) {
    f.play_caption = f.play_caption == window::kCaptionPlay ? Text(window::kCaptionStop)
                                                            : Text(window::kCaptionPlay);
  });
  if (Reading(state)) {
    StartBranch(context);
  } else {
    StopAndWaitForClip(context);
  }
}

void OnTextBoxChanged(ReaderContext& context) {
  if (Reading(context.state)) TogglePlay(context);  // takes its stop branch
  context.state.ResetReading();
}

void OnPlayButtonLostFocus(ReaderContext& context) {
  if (Reading(context.state)) TogglePlay(context);
}

void OnTextBoxLostFocus(ReaderContext& context) {
  if (Reading(context.state)) context.state.RequestTextBoxFocus();
}

void WriteTextBox(ReaderContext& context, Text text) {
  context.state.SetTextBoxText(std::move(text));
  OnTextBoxChanged(context);
}

void OnClipboardChanged(ReaderContext& context, Text clipboard_text) {
  if (clipboard_text.empty()) return;
  WriteTextBox(context, std::move(clipboard_text));
  context.state.SetTextBoxSelection({-1, 0});  // caret at the end, nothing selected
  // The text-changed handler has stopped any reading: the caption is "播 放" and this starts
  // reading the new text from its beginning.
  TogglePlay(context);
}

}  // namespace velarn
