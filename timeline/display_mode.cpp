#include "timeline/display_mode.h"

namespace {

constexpr std::int32_t mode_heights[8] = {1080, 720, 600, 320, 1080, 720, 600, 320};
constexpr std::int32_t mode_widths[8] = {1920, 1280, 800, 480, 1920, 1280, 800, 480};
constexpr char mode_full_screen[] = "yyyynnnn";

} // namespace

DisplayMode mode_for_key(int key) {
    // EOF and every character outside "1".."8" wrap to an index above 7 as an unsigned byte.
    const unsigned char index = static_cast<unsigned char>(key - '1');
    if (index > 7) {
        return fallback_mode;
    }
    return DisplayMode{mode_widths[index], mode_heights[index], mode_full_screen[index] == 'y'};
}
