// The five scenes of the show. Each draws one frame of its figure with OpenGL 1.1 immediate-mode
// calls, as a pure function of the scene clock (and, for the wave field, the drift).
#pragma once

#include "scenes/drift_state.h"

void draw_wave_field(double t, float t_f, DriftState& drift);
void update_drift(DriftState& drift);
void draw_line_rosettes(double t);
void draw_ring_stack(double t, float t_f);
void draw_twin_clouds(double t, float t_f);
void draw_wave_rows(double t);
