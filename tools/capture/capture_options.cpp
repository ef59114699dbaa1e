#include "tools/capture/capture_options.h"
#include "tools/readings/readings.h"

#include <cstdio>

namespace {

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Video by extension; a name ending in "/" or without any extension is a folder of PNGs. Any
// other extension is refused rather than guessed at.
bool output_kind_for(const std::string& name, OutputKind* kind, std::string* error) {
    if (ends_with(name, ".mp4")) {
        *kind = OutputKind::mp4;
        return true;
    }
    if (ends_with(name, ".mkv")) {
        *kind = OutputKind::mkv;
        return true;
    }
    if (ends_with(name, ".webm")) {
        *kind = OutputKind::webm;
        return true;
    }
    const auto slash = name.find_last_of('/');
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    const auto dot = last.rfind('.');
    if (last.empty() || dot == std::string::npos || dot == 0 || last == "..") {
        *kind = OutputKind::png_folder;
        return true;
    }
    *error = "unknown output type \"" + last.substr(dot) +
             "\" (a video is .mp4, .mkv or .webm; a name without an extension is a folder of PNGs)";
    return false;
}

bool parse_one_reading(const std::string& option, const std::string& word, long long* value,
                       std::string* error) {
    std::vector<long long> readings;
    if (word.find(':') != std::string::npos || !parse_readings(word, readings, error)) {
        *error = option + " takes one reading in milliseconds (0 to 100000), not \"" + word + "\"";
        return false;
    }
    *value = readings.front();
    return true;
}

} // namespace

const char* capture_usage() {
    return "usage: dadadazo-capture [--mode DIGIT] [--renderer R] --at READING... -o FOLDER\n"
           "       dadadazo-capture [--mode DIGIT] [--renderer R] --fps N [--from READING]\n"
           "                        [--to READING] -o FILE.mp4|FILE.mkv|FILE.webm|FOLDER\n"
           "  READING: a clock reading in milliseconds (0 to 100000), or A:S:B for A, A+S, ... B\n"
           "  --mode DIGIT  the size the menu digit picks (default 1920x1080)\n"
           "  --at          one PNG per reading, drawn in the order given, named by the reading\n"
           "  --fps N       the whole show at N frames a second (1 to 240), frame n at reading\n"
           "                n*1000/N; --from/--to keep the frames from one reading up to (not\n"
           "                including) another; a video gets tarmelipolkka.wav under it when\n"
           "                that file is in the working folder\n"
           "  --renderer R  portable (default): the show's own renderer on OpenGL ES 3 or GL 3.3\n"
           "                core; gl11: the driver's own OpenGL 1.1, exactly as it draws\n";
}

ParseOutcome parse_capture_options(int argc, const char* const* argv, CaptureOptions* options,
                                   std::string* error) {
    *options = CaptureOptions{
        fallback_mode, {}, 0, 0, -1, "", OutputKind::png_folder, CaptureRenderer::portable};
    bool have_at = false, have_mode = false, have_from = false, have_to = false;
    bool have_renderer = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            return ParseOutcome::help;
        }
        if (option == "--at") {
            if (have_at) {
                *error = "--at given twice";
                return ParseOutcome::bad;
            }
            have_at = true;
            while (i + 1 < argc && argv[i + 1][0] != '-') {
                if (!parse_readings(argv[++i], options->at, error)) {
                    return ParseOutcome::bad;
                }
            }
            if (options->at.empty()) {
                *error = "--at needs at least one reading";
                return ParseOutcome::bad;
            }
            continue;
        }
        if (option != "--mode" && option != "--fps" && option != "--from" && option != "--to" &&
            option != "-o" && option != "--renderer") {
            *error = "unknown option \"" + option + "\"";
            return ParseOutcome::bad;
        }
        if (i + 1 >= argc) {
            *error = option + " needs a value";
            return ParseOutcome::bad;
        }
        const std::string value = argv[++i];
        if (option == "--mode") {
            if (have_mode || !parse_mode_digit(value, &options->mode, error)) {
                if (have_mode) {
                    *error = "--mode given twice";
                }
                return ParseOutcome::bad;
            }
            have_mode = true;
        } else if (option == "--fps") {
            std::vector<long long> number;
            std::string ignored;
            if (options->fps != 0 || value.find(':') != std::string::npos ||
                !parse_readings(value, number, &ignored) || number.front() < 1 ||
                number.front() > 240) {
                *error = options->fps != 0
                             ? "--fps given twice"
                             : "--fps takes a whole number from 1 to 240, not \"" + value + "\"";
                return ParseOutcome::bad;
            }
            options->fps = static_cast<int>(number.front());
        } else if (option == "--renderer") {
            if (have_renderer || (value != "portable" && value != "gl11")) {
                *error = have_renderer ? "--renderer given twice"
                                       : "--renderer is portable or gl11, not \"" + value + "\"";
                return ParseOutcome::bad;
            }
            options->renderer = value == "gl11" ? CaptureRenderer::gl11 : CaptureRenderer::portable;
            have_renderer = true;
        } else if (option == "--from") {
            if (have_from || !parse_one_reading(option, value, &options->from_ms, error)) {
                if (have_from) {
                    *error = "--from given twice";
                }
                return ParseOutcome::bad;
            }
            have_from = true;
        } else if (option == "--to") {
            if (have_to || !parse_one_reading(option, value, &options->to_ms, error)) {
                if (have_to) {
                    *error = "--to given twice";
                }
                return ParseOutcome::bad;
            }
            have_to = true;
        } else {
            if (!options->output.empty() || value.empty()) {
                *error = value.empty() ? "-o needs a name" : "-o given twice";
                return ParseOutcome::bad;
            }
            options->output = value;
        }
    }
    if (have_at == (options->fps != 0)) {
        *error = have_at ? "--at and --fps cannot be combined"
                         : "nothing to capture: give --at READING... or --fps N";
        return ParseOutcome::bad;
    }
    if (have_at && (have_from || have_to)) {
        *error = "--from and --to cut a part of --fps capture; --at names its readings itself";
        return ParseOutcome::bad;
    }
    if (have_to && options->to_ms <= options->from_ms) {
        *error = "--to must come after --from";
        return ParseOutcome::bad;
    }
    if (options->output.empty()) {
        *error = "no output: give -o";
        return ParseOutcome::bad;
    }
    if (!output_kind_for(options->output, &options->output_kind, error)) {
        return ParseOutcome::bad;
    }
    if (have_at && options->output_kind != OutputKind::png_folder) {
        *error = "--at writes PNGs into a folder; \"" + options->output + "\" names a video";
        return ParseOutcome::bad;
    }
    return ParseOutcome::run;
}
