// The command line of dadadazo-capture.
#pragma once

#include "gl/renderer_choice.h"
#include "timeline/display_mode.h"

#include <string>
#include <vector>

// A folder of PNGs, a video through ffmpeg, or raw frames as a YUV4MPEG2 stream (a file, or
// standard output for "-o -").
enum class OutputKind { png_folder, mp4, mkv, webm, y4m };

// Colour samples kept in video and Y4M frames: one per 2x2 block of pixels, or one per pixel.
enum class Chroma { yuv420, yuv444 };

struct CaptureOptions {
    DisplayMode mode;          // --mode DIGIT; the menu's fallback mode when not given
    std::vector<long long> at; // --at: readings in milliseconds, in the order given
    int fps;                   // --fps N (1 to 240); 0 when capturing --at readings
    long long from_ms;         // --from: first reading of the part kept (inclusive)
    long long to_ms;           // --to: end of the part kept (exclusive); -1 for the show's end
    std::string output;        // -o
    OutputKind output_kind;    // from the output name: a folder, or a video by extension
    Renderer renderer;         // --renderer portable|gl11; portable when not given
    Chroma chroma;             // --chroma 420|444; 420 when not given
    bool gentle = false;       // --gentle: within three flashes a second (portable only)
};

// Whether the output is standard output ("-o -", a Y4M stream).
bool writes_to_stdout(const CaptureOptions& options);

enum class ParseOutcome { run, help, bad };

// Reads argv[1..argc-1]. `bad` stores a one-line reason in `error`.
ParseOutcome parse_capture_options(int argc, const char* const* argv, CaptureOptions* options,
                                   std::string* error);

// The usage text printed for --help and after a bad argument.
const char* capture_usage();
