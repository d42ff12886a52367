#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whether the window can reach a display, decided before the application object exists
// (which would abort the program without one). `platform` is the value of QT_QPA_PLATFORM,
// `x11Display` that of DISPLAY and `waylandDisplay` that of WAYLAND_DISPLAY, empty when unset.
// The result is one line for the user naming what is missing, or empty when the window can
// start: a display is named, or the platform is one that needs none (offscreen, minimal …) or
// finds its display by itself.
std::optional<std::string> MissingDisplay(std::string_view platform, std::string_view x11Display,
                                          std::string_view waylandDisplay);
