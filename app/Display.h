// Which display the program talks to, decided before the toolkit starts.
#pragma once

#include <optional>
#include <string>

namespace velarn {

// On a Wayland session the program uses the X11 platform (XWayland) unless the user chose a
// platform in QT_QPA_PLATFORM: a native Wayland client hears of clipboard changes only while
// it has the focus, and this program must hear of every copy made elsewhere.
void ChooseDisplayPlatform();

// Why the program cannot show its window, in one line, or nothing when it can: the X11
// platform needs a display that answers. Another platform chosen by the user is left to the
// toolkit.
std::optional<std::string> DisplayProblem();

}  // namespace velarn
