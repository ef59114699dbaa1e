// The program's entry: hands the platform's start-up values to the show.
#include "app/show.h"

int main() {
    const PlatformStartup startup = platform_startup();
    return run_demo(startup.instance, nullptr, "", startup.show_state);
}
