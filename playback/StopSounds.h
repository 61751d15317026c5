#pragma once

#include "playback/ReaderContext.h"

namespace velarn {

// Every sound started by PlayClip falls silent at once, and the player's wait for the clip
// that was cut ends (its ClipPlaying becomes 0 then). Returns without waiting.
void StopSounds(ReaderContext& context);

}  // namespace velarn
