// The window thread's side of reading aloud: the PlayButton's TogglePlay, the focus and
// text-changed handlers of TextBox and PlayButton, and the clipboard capture. Every routine runs
// on the window thread; waits inside them dispatch window events, so they nest in each other.
#pragma once

#include "playback/ReaderContext.h"
#include "text/Text.h"

namespace velarn {

// Starts, stops or resumes reading, by the PlayButton caption ("播 放" / "停 止"). The focus
// request for TextBox comes before the caption change, so that the PlayButton losing the focus
// to TextBox still sees "播 放" and does not stop the reading just started.
void TogglePlay(ReaderContext& context);

// Stop and wait: PlayButton.tag " ", every sound cut, HoldPlayback 1, SaveButton disabled; then
// PlayButton stays disabled for as long as the player still waits for the cut clip; both
// buttons are enabled again at the end. TogglePlay's stop branch and the voice change share it.
void StopAndWaitForClip(ReaderContext& context);

// Every change of TextBox's text, by the user or by the program: a reading in progress is
// stopped (with the wait for the cut clip's time), then ResetReading.
void OnTextBoxChanged(ReaderContext& context);

// While reading, a PlayButton that loses the keyboard focus stops the reading.
void OnPlayButtonLostFocus(ReaderContext& context);

// While reading, TextBox takes the keyboard focus back, so the chunk being read stays visible.
void OnTextBoxLostFocus(ReaderContext& context);

// A program write of TextBox's text: the text-changed handler has finished when this returns.
void WriteTextBox(ReaderContext& context, Text text);

// The clipboard changed; `clipboard_text` is its text in GBK. The text replaces TextBox, the
// caret goes to its end and reading of it starts from its beginning. A change that carries no
// text (an image, or the clipboard's owner quitting) comes as an empty text and changes
// nothing: it must not erase what TextBox holds.
void OnClipboardChanged(ReaderContext& context, Text clipboard_text);

}  // namespace velarn
