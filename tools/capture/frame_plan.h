// Which frames a capture draws and keeps, at which clock readings, and what their PNGs are called.
#pragma once

#include "tools/capture/capture_options.h"

#include <cstddef>
#include <string>
#include <vector>

struct FramePlan {
    std::vector<long long> readings; // every frame drawn, in order
    std::size_t first_kept;          // frames before this only carry the drift forward
    std::vector<std::string> names;  // file names of the kept frames (PNG output)
};

// --at: every reading given, in order, all kept. --fps: the show's frames at that rate up to
// --to, kept from the first at or after --from. first_kept is readings.size() when none is kept.
FramePlan plan_frames(const CaptureOptions& options);

// The clock reading frame n of a capture at `fps` frames a second is drawn at: floor(n*1000/fps).
long long show_frame_reading(long long n, int fps);

// How many frames the show loop with a perfect clock at `fps` draws: every n whose reading does
// not yet end the show.
long long show_frame_count(int fps);

// The file name of the PNG for the `occurrence`-th time (1 for the first) a reading appears.
std::string reading_file_name(long long reading_ms, int occurrence);

// The file name of frame n in a folder of numbered PNGs.
std::string frame_file_name(long long n);
