// The program's entry: hands the platform's start-up values and the command line to the show.
#include "app/show.h"

#include <string>

int main(int argc, char** argv) {
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            command_line += ' ';
        }
        command_line.append(argv[i]);
    }
    const PlatformStartup startup = platform_startup();
    return run_demo(startup.instance, nullptr, command_line.c_str(), startup.show_state);
}
