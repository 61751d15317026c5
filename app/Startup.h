// Process start and MainWindow's created handler: the order in which the program's parts are
// wired together before the user first sees the window.
#pragma once

#include <functional>

namespace velarn {

// The steps of the created handler, each supplied by the program (tests record them).
struct CreatedHandlerSteps {
  // Steps 1 and 2: the clipboard watch is installed. The clipboard's content at that moment
  // is not read; only later changes are.
  std::function<void()> watch_clipboard;
  // Step 3: row 0 of VoiceList, selected by the program (no handler runs, no session begins).
  std::function<void()> select_first_voice;
  // Step 4: false when the engine did not start; its message has been shown then.
  std::function<bool()> prepare_engine;
  // Step 5: the window is shown for the first time.
  std::function<void()> show_window;
  // Step 6: the playback worker, then the synthesis worker.
  std::function<void()> start_player;
  std::function<void()> start_synth;
};

// Runs the six steps in order; false (and the window never shown, no worker started) when
// the engine preparation failed.
bool RunCreatedHandler(const CreatedHandlerSteps& steps);

}  // namespace velarn
