// One whole frame of the show at a given scene clock.
#pragma once

#include "scenes/drift_state.h"
#include "timeline/display_mode.h"

// Draws the frame for scene clock `t` (seconds, double) and `t_f` (the same reading in single
// precision), writes the time line to stdout, and leaves the matrix stack as it found it.
void draw_frame(double t, float t_f, const DisplayMode& mode, DriftState& drift);
