// The display mode picked at start-up: the window's outer size and whether it is a borderless
// full-screen window. The same width and height drive the aspect scale of every frame.
#pragma once

#include <cstdint>

struct DisplayMode {
    std::int32_t width;
    std::int32_t height;
    bool full_screen;
};
