#include "app/menu.h"

#include <cstdio>

namespace {

constexpr std::int32_t mode_heights[8] = {1080, 720, 600, 320, 1080, 720, 600, 320};
constexpr std::int32_t mode_widths[8] = {1920, 1280, 800, 480, 1920, 1280, 800, 480};
constexpr char mode_full_screen[] = "yyyynnnn";

constexpr DisplayMode fallback_mode = {1920, 1080, false};

constexpr char menu_text[] = "Paljonkos pannaan?: \n"
                             "1 1920x1080 (Full Screen)\n"
                             "2 1280x720(Full Screen)\n"
                             "3 800x600(Full Screen)\n"
                             "4 480x320(Full Screen)\n"
                             "\n"
                             "5 1920x1080(windowed)\n"
                             "6 1280x720(windowed)\n"
                             "7 800x600(windowed)\n"
                             "8 480x320(windowed)";

} // namespace

DisplayMode mode_for_key(int key) {
    // EOF and every character outside "1".."8" wrap to an index above 7 as an unsigned byte.
    const unsigned char index = static_cast<unsigned char>(key - '1');
    if (index > 7) {
        return fallback_mode;
    }
    return DisplayMode{mode_widths[index], mode_heights[index], mode_full_screen[index] == 'y'};
}

DisplayMode choose_mode() {
    std::puts(menu_text);
    return mode_for_key(std::getchar());
}
