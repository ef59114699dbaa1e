#include "tools/capture/capture_options.h"
#include "tools/readings/readings.h"

#include <cstdio>

namespace {

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Video or Y4M by extension ("-" is Y4M on standard output); a name ending in "/" or without any
// extension is a folder of PNGs. Any other extension is refused rather than guessed at.
bool output_kind_for(const std::string& name, OutputKind* kind, std::string* error) {
    const std::pair<const char*, OutputKind> extensions[] = {{".mp4", OutputKind::mp4},
                                                             {".mkv", OutputKind::mkv},
                                                             {".webm", OutputKind::webm},
                                                             {".y4m", OutputKind::y4m}};
    if (name == "-") {
        *kind = OutputKind::y4m;
        return true;
    }
    for (const auto& [extension, extension_kind] : extensions) {
        if (ends_with(name, extension)) {
            *kind = extension_kind;
            return true;
        }
    }
    const auto slash = name.find_last_of('/');
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    const auto dot = last.rfind('.');
    if (last.empty() || dot == std::string::npos || dot == 0 || last == "..") {
        *kind = OutputKind::png_folder;
        return true;
    }
    *error = "unknown output type \"" + last.substr(dot) +
             "\" (a video is .mp4, .mkv or .webm, raw frames .y4m or - for standard output; a "
             "name without an extension is a folder of PNGs)";
    return false;
}

bool parse_one_reading(const std::string& option, const std::string& word, long long* value,
                       std::string* error) {
    std::vector<long long> readings;
    if (word.find(':') != std::string::npos || !parse_readings(word, readings, error)) {
        *error = option + " takes one reading in milliseconds (" + reading_range_text() +
                 "), not \"" + word + "\"";
        return false;
    }
    *value = readings.front();
    return true;
}

// One option of the table below: its name, and what it does with its value ("" for --at, whose
// readings follow it as separate words).
struct OptionRule {
    const char* name;
    bool (*take)(const std::string& value, CaptureOptions* options, std::string* error);
};

bool take_mode(const std::string& value, CaptureOptions* options, std::string* error) {
    return parse_mode_digit(value, &options->mode, error);
}

bool take_fps(const std::string& value, CaptureOptions* options, std::string* error) {
    std::vector<long long> number;
    std::string ignored;
    if (value.find(':') != std::string::npos || !parse_readings(value, number, &ignored) ||
        number.front() < 1 || number.front() > 240) {
        *error = "--fps takes a whole number from 1 to 240, not \"" + value + "\"";
        return false;
    }
    options->fps = static_cast<int>(number.front());
    return true;
}

bool take_from(const std::string& value, CaptureOptions* options, std::string* error) {
    return parse_one_reading("--from", value, &options->from_ms, error);
}

bool take_to(const std::string& value, CaptureOptions* options, std::string* error) {
    return parse_one_reading("--to", value, &options->to_ms, error);
}

bool take_renderer(const std::string& value, CaptureOptions* options, std::string* error) {
    if (!renderer_named(value, &options->renderer)) {
        *error = "--renderer is portable or gl11, not \"" + value + "\"";
        return false;
    }
    return true;
}

bool take_chroma(const std::string& value, CaptureOptions* options, std::string* error) {
    if (value != "420" && value != "444") {
        *error = "--chroma is 420 or 444, not \"" + value + "\"";
        return false;
    }
    options->chroma = value == "444" ? Chroma::yuv444 : Chroma::yuv420;
    return true;
}

bool take_output(const std::string& value, CaptureOptions* options, std::string* error) {
    if (value.empty()) {
        *error = "-o needs a name";
        return false;
    }
    options->output = value;
    return true;
}

constexpr OptionRule option_rules[] = {
    {"--at", nullptr},         {"--mode", take_mode}, {"--fps", take_fps},
    {"--from", take_from},     {"--to", take_to},     {"--renderer", take_renderer},
    {"--chroma", take_chroma}, {"-o", take_output},
};
constexpr std::size_t option_count = sizeof option_rules / sizeof option_rules[0];

const OptionRule* find_rule(const std::string& name) {
    for (const OptionRule& rule : option_rules) {
        if (name == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

// --at takes every following word that does not start with "-".
bool take_readings(int argc, const char* const* argv, int* i, CaptureOptions* options,
                   std::string* error) {
    while (*i + 1 < argc && argv[*i + 1][0] != '-') {
        if (!parse_readings(argv[++*i], options->at, error)) {
            return false;
        }
    }
    if (options->at.empty()) {
        *error = "--at needs at least one reading";
        return false;
    }
    return true;
}

bool was_given(const bool given[], const char* name) {
    return given[find_rule(name) - option_rules];
}

// What the options say together, once each has been read.
bool check_combination(const CaptureOptions& options, const bool given[], std::string* error) {
    const bool have_at = was_given(given, "--at");
    const bool have_part = was_given(given, "--from") || was_given(given, "--to");
    if (have_at == (options.fps != 0)) {
        *error = have_at ? "--at and --fps cannot be combined"
                         : "nothing to capture: give --at READING... or --fps N";
        return false;
    }
    if (have_at && have_part) {
        *error = "--from and --to cut a part of --fps capture; --at names its readings itself";
        return false;
    }
    if (was_given(given, "--to") && options.to_ms <= options.from_ms) {
        *error = "--to must come after --from";
        return false;
    }
    if (options.output.empty()) {
        *error = "no output: give -o";
        return false;
    }
    if (have_at && options.output_kind != OutputKind::png_folder) {
        *error = "--at writes PNGs into a folder; \"" + options.output +
                 "\" names a video or a Y4M stream";
        return false;
    }
    if (options.gentle && options.renderer == Renderer::gl11) {
        *error = "--gentle is a step of the portable renderer; the driver's OpenGL 1.1 draws "
                 "the frames as they are (leave out --renderer gl11)";
        return false;
    }
    if (was_given(given, "--chroma") && options.output_kind == OutputKind::png_folder) {
        *error = "--chroma is for videos and Y4M streams; PNGs keep every pixel's colour";
        return false;
    }
    return true;
}

} // namespace

const char* capture_usage() {
    static const std::string text =
        "usage: dadadazo-capture [--mode DIGIT] [--renderer R] [--gentle] --at READING...\n"
        "                        -o FOLDER\n"
        "       dadadazo-capture [--mode DIGIT] [--renderer R] [--gentle] [--chroma C] --fps N\n"
        "                        [--from READING] [--to READING]\n"
        "                        -o FILE.mp4|FILE.mkv|FILE.webm|FILE.y4m|-|FOLDER\n"
        "  READING: a clock reading in milliseconds (" +
        reading_range_text() +
        "), or A:S:B for A, A+S, ... B\n"
        "  --mode DIGIT  the size the menu digit picks (default 1920x1080)\n"
        "  --at          one PNG per reading, drawn in the order given, named by the reading\n"
        "  --fps N       the whole show at N frames a second (1 to 240), frame n at reading\n"
        "                n*1000/N; --from/--to keep the frames from one reading up to (not\n"
        "                including) another; a video gets tarmelipolkka.wav under it when\n"
        "                that file is in the working folder; -o - writes Y4M to stdout\n"
        "  --chroma C    420 (default): colour for every 2x2 pixels, as players expect;\n"
        "                444: colour for every pixel (H.264 High 4:4:4, or Y4M)\n"
        "  --renderer R  portable (default): the show's own renderer on OpenGL ES 3 or GL 3.3\n"
        "                core; gl11: the driver's own OpenGL 1.1, exactly as it draws\n"
        "  --gentle      hold back just enough light that no area flashes more than three\n"
        "                times a second; frames follow each other in the order drawn\n";
    return text.c_str();
}

bool writes_to_stdout(const CaptureOptions& options) {
    return options.output_kind == OutputKind::y4m && options.output == "-";
}

ParseOutcome parse_capture_options(int argc, const char* const* argv, CaptureOptions* options,
                                   std::string* error) {
    *options =
        CaptureOptions{fallback_mode, {}, 0, 0, -1, "", OutputKind::png_folder, Renderer::portable,
                       Chroma::yuv420};
    bool given[option_count] = {};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            return ParseOutcome::help;
        }
        if (option == "--gentle") {
            if (options->gentle) {
                *error = "--gentle given twice";
                return ParseOutcome::bad;
            }
            options->gentle = true;
            continue;
        }
        const OptionRule* rule = find_rule(option);
        if (rule == nullptr) {
            *error = "unknown option \"" + option + "\"";
            return ParseOutcome::bad;
        }
        bool& seen = given[rule - option_rules];
        if (seen) {
            *error = option + " given twice";
            return ParseOutcome::bad;
        }
        seen = true;
        if (rule->take == nullptr) {
            if (!take_readings(argc, argv, &i, options, error)) {
                return ParseOutcome::bad;
            }
            continue;
        }
        if (i + 1 >= argc) {
            *error = option + " needs a value";
            return ParseOutcome::bad;
        }
        if (!rule->take(argv[++i], options, error)) {
            return ParseOutcome::bad;
        }
    }
    if (!options->output.empty() &&
        !output_kind_for(options->output, &options->output_kind, error)) {
        return ParseOutcome::bad;
    }
    return check_combination(*options, given, error) ? ParseOutcome::run : ParseOutcome::bad;
}
