// The show's command line: which renderer draws the window, or a request for the usage text.
#pragma once

#include "platform/platform.h"

#include <string>

struct ShowOptions {
    Renderer renderer = Renderer::gl11;
    bool gentle = false;
    bool help = false;
};

// The usage text --help prints, several lines ending in a newline.
extern const char show_usage[];

// Reads `command_line` (the program's arguments separated by spaces). On a bad one stores a
// one-line reason without the program's name and returns false.
bool parse_show_options(const char* command_line, ShowOptions* options, std::string* error);
