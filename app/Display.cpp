#include "app/Display.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace velarn {
namespace {

std::string_view Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

}  // namespace

void ChooseDisplayPlatform() {
  if (!Env("QT_QPA_PLATFORM").empty()) return;  // the user's choice
  if (!Env("WAYLAND_DISPLAY").empty() || Env("XDG_SESSION_TYPE") == "wayland") {
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
}

std::optional<std::string> DisplayProblem() {
  const std::string_view platform = Env("QT_QPA_PLATFORM");
  if (!platform.empty() && !platform.starts_with("xcb")) return std::nullopt;
  const std::string_view display = Env("DISPLAY");
  if (display.empty()) {
    return "no display: DISPLAY is not set (start Velarn inside a desktop session)";
  }
  // Qt aborts with several lines when it cannot connect; ask the display first.
  const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
      xcb_connect(nullptr, nullptr), &xcb_disconnect);
  if (!connection || xcb_connection_has_error(connection.get()) != 0) {
    return "cannot open the display " + std::string(display);
  }
  return std::nullopt;
}

}  // namespace velarn
