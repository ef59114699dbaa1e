#include "app/options.h"

#include <algorithm>
#include <string_view>
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
    if (!renderer_named(value, &options->renderer)) {
        *error = "unknown renderer '" + value + "' (gl11 or portable)";
        return false;
    }
    return true;
}

// The command line's words, split at white space as a shell splits them unquoted (no streams:
// they would bring their locales into the web page's program).
std::vector<std::string> words_of(std::string_view line) {
    constexpr std::string_view space = " \t\n\v\f\r";
    std::vector<std::string> words;
    for (std::size_t start = line.find_first_not_of(space); start != std::string_view::npos;) {
        const std::size_t end = std::min(line.find_first_of(space, start), line.size());
        words.emplace_back(line.substr(start, end - start));
        start = line.find_first_not_of(space, end);
    }
    return words;
}

} // namespace

bool parse_show_options(const char* command_line, ShowOptions* options, std::string* error) {
    const std::vector<std::string> arguments =
        words_of(command_line == nullptr ? "" : command_line);
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
