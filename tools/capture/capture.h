// dadadazo-capture: frames of the show rendered offscreen and written as PNGs or a video.
#pragma once

#include "tools/capture/capture_options.h"

// Where the drawing thread's time went, in seconds summed over a capture. The GPU's own work shows
// where the thread waits for it, mostly in read_back.
struct CaptureTimings {
    double lead_in = 0.0;   // frames before the part, drawn only for their drift
    double draw = 0.0;      // draw_frame and the renderer's batches
    double convert = 0.0;   // queueing the read of the frame
    double read_back = 0.0; // waiting for the frame's pixels and copying them out
    double hand_over = 0.0; // waiting for the writer to take a frame
    long long frames = 0;   // frames handed to the writer
};

// Runs one capture; messages and progress go to stderr, stdout stays quiet (but for a Y4M
// stream asked for there). Returns the exit status: 0 done; 1 failed, with nothing left under the
// output's name; 2 when the options ask for no frame at all (a part after the show's end), as for
// any other bad argument. `timings`, when given, gets where the time went.
int run_capture(const CaptureOptions& options, CaptureTimings* timings = nullptr);
