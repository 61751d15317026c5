#include "playback/StopSounds.h"

#include "playback/ReaderState.h"
#include "playback/SoundOutput.h"

namespace velarn {

void StopSounds(ReaderContext& context) {
  context.sound.StopSounds();
  context.state.Update([](SharedFields& f) { ++f.sound_stops; });
}

}  // namespace velarn
