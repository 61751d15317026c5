#pragma once

#include "playback/ReaderContext.h"

namespace velarn {

// The SaveButton click: after the user confirms, the synthesis worker converts the whole text
// into one audio file (SaveMode); No changes nothing.
void OnSaveButtonClicked(ReaderContext& context);

}  // namespace velarn
