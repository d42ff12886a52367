// Whether the window can reach a display, decided before the application object exists.
#include <gtest/gtest.h>

#include "app/display_check.h"

namespace {

TEST(DisplayCheck, NamesWhatIsMissing) {
  const std::string none = "neither DISPLAY nor WAYLAND_DISPLAY is set";
  const std::string noX = "DISPLAY is not set";
  const struct {
    std::string_view platform, x11, wayland;
    std::string missing; // the end of the line, empty when the window can start
  } cases[] = {
      {"", "", "", none},
      {"", ":0", "", ""},
      {"", "", "wayland-0", ""},
      {"xcb", "", "", noX},
      {"xcb", "", "wayland-0", noX},
      {"xcb:nograb", "", "", noX},
      {"xcb", ":0", "", ""},
      // Platforms that need no display, or find a Wayland display by themselves.
      {"offscreen", "", "", ""},
      {"minimal", "", "", ""},
      {"wayland", "", "", ""},
      {"wayland;xcb", "", "", ""},
  };
  for (const auto &c : cases) {
    const auto line = MissingDisplay(c.platform, c.x11, c.wayland);
    ASSERT_EQ(line.has_value(), !c.missing.empty()) << c.platform << '|' << c.x11;
    if (line) {
      EXPECT_TRUE(line->starts_with("vireo: ")) << *line;
      EXPECT_TRUE(line->ends_with(c.missing)) << *line;
      EXPECT_EQ(line->find('\n'), std::string::npos);
    }
  }
}

} // namespace
