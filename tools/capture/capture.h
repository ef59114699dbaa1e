// dadadazo-capture: frames of the show rendered offscreen and written as PNGs or a video.
#pragma once

#include "tools/capture/capture_options.h"

// The clock reading frame n of a capture at `fps` frames a second is drawn at: floor(n*1000/fps).
long long show_frame_reading(long long n, int fps);

// How many frames the show loop with a perfect clock at `fps` draws: every n whose reading does
// not yet end the show.
long long show_frame_count(int fps);

// The file name of the PNG for the `occurrence`-th time (1 for the first) a reading appears.
std::string reading_file_name(long long reading_ms, int occurrence);

// The file name of frame n in a folder of numbered PNGs.
std::string frame_file_name(long long n);

// Runs one capture; messages and progress go to stderr, stdout stays quiet. Returns the exit
// status: 0 done, 1 failed (nothing left under the output's name).
int run_capture(const CaptureOptions& options);
