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

// Where the drawing thread's time went, in seconds summed over a capture. The GPU's own work shows
// where the thread waits for it, mostly in read_back.
struct CaptureTimings {
    double lead_in = 0.0;   // frames before the part, drawn only for their drift
    double draw = 0.0;      // draw_frame and the renderer's batches
    double convert = 0.0;   // queueing the YUV pass and the read of the frame
    double read_back = 0.0; // waiting for the frame's pixels and copying them out
    double hand_over = 0.0; // waiting for the writer to take a frame
    long long frames = 0;   // frames handed to the writer
};

// Runs one capture; messages and progress go to stderr, stdout stays quiet (but for a Y4M
// stream asked for there). Returns the exit status: 0 done, 1 failed (nothing left under the
// output's name). `timings`, when given, gets where the time went.
int run_capture(const CaptureOptions& options, CaptureTimings* timings = nullptr);
