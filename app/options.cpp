#include "app/options.h"

#include <sstream>
#include <vector>

const char show_usage[] =
    "usage: dadadazo [--renderer gl11|portable] [--gentle]\n"
    "  --renderer gl11      draw with the system's OpenGL 1.1 (the default)\n"
    "  --renderer portable  draw through the portable renderer, in an OpenGL ES 3 or\n"
    "                       GL 3.3 core context\n"
    "  --gentle             no more than three flashes a second: the portable renderer\n"
    "                       dims an area just enough where it would flash more\n"
    "  --help               print this and exit\n"
    "Then type a menu digit and Enter; Esc or closing the window ends the show.\n";

namespace {

bool parse_renderer(const std::string& value, ShowOptions* options, std::string* error) {
    if (value == "gl11") {
        options->renderer = Renderer::gl11;
    } else if (value == "portable") {
        options->renderer = Renderer::portable;
    } else {
        *error = "unknown renderer '" + value + "' (gl11 or portable)";
        return false;
    }
    return true;
}

} // namespace

bool parse_show_options(const char* command_line, ShowOptions* options, std::string* error) {
    std::istringstream words(command_line == nullptr ? "" : command_line);
    std::vector<std::string> arguments;
    for (std::string word; words >> word;) {
        arguments.push_back(word);
    }
    *options = ShowOptions{};
    bool renderer_given = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options->help = true;
            continue;
        }
        if (argument == "--gentle") {
            options->gentle = true;
            continue;
        }
        const bool joined = argument.rfind("--renderer=", 0) == 0;
        if (argument != "--renderer" && !joined) {
            *error = "unknown option '" + argument + "' (try --help)";
            return false;
        }
        if (renderer_given) {
            *error = "--renderer given twice";
            return false;
        }
        renderer_given = true;
        if (!joined && i + 1 == arguments.size()) {
            *error = "--renderer needs a value: gl11 or portable";
            return false;
        }
        const std::string value = joined ? argument.substr(11) : arguments[++i];
        if (!parse_renderer(value, options, error)) {
            return false;
        }
    }
    return true;
}
