#include "app/display_check.h"

#include <ranges>

namespace {

// True when every platform of the list (names separated by ';', each optionally followed by
// ':' and its options) is the X11 one.
bool OnlyX11(std::string_view platforms) {
  for (const auto entry : std::views::split(platforms, ';')) {
    const std::string_view platform(entry.begin(), entry.end());
    if (platform.substr(0, platform.find(':')) != "xcb") {
      return false;
    }
  }
  return true;
}

} // namespace

std::optional<std::string> MissingDisplay(std::string_view platform, std::string_view x11Display,
                                          std::string_view waylandDisplay) {
  // Without a choice the toolkit takes the session's display, X11 or Wayland.
  if (platform.empty() && x11Display.empty() && waylandDisplay.empty()) {
    return "vireo: no display to show the window on: neither DISPLAY nor WAYLAND_DISPLAY is set";
  }
  if (!platform.empty() && OnlyX11(platform) && x11Display.empty()) {
    return "vireo: no X display to show the window on: DISPLAY is not set";
  }
  return std::nullopt;
}
