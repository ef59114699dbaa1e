#include "app/menu.h"

#include <cstdio>

namespace {

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

DisplayMode choose_mode() {
    std::puts(menu_text);
    return mode_for_key(std::getchar());
}
