// The display mode picked at start-up: the window's outer size and whether it is a borderless
// full-screen window. The same width and height drive the aspect scale of every frame; the menu
// chooses one, the backends open windows from it, and the tools pick one by its menu digit.
#pragma once

#include <cstdint>

struct DisplayMode {
    std::int32_t width;
    std::int32_t height;
    bool full_screen;
};

// What every input outside "1".."8" gives, no input at all included: 1920 x 1080 windowed.
constexpr DisplayMode fallback_mode = {1920, 1080, false};

// The mode for one input character (as returned by getchar, EOF included): digits "1" to "8"
// pick a row of the menu's table, everything else gives `fallback_mode`.
DisplayMode mode_for_key(int key);
