#include "app/Startup.h"

namespace velarn {

bool RunCreatedHandler(const CreatedHandlerSteps& steps) {
  steps.watch_clipboard();
  steps.select_first_voice();
  if (!steps.prepare_engine()) return false;
  steps.show_window();
  steps.start_player();
  steps.start_synth();
  return true;
}

}  // namespace velarn
