#pragma once

#include "playback/ReaderContext.h"

namespace velarn {

// The BrowseButton click: the user picks a text file whose content replaces TextBox's (which
// stops and resets reading through the text-changed handler). A cancelled dialog and a UTF-16
// file change nothing.
void OnBrowseButtonClicked(ReaderContext& context);

}  // namespace velarn
