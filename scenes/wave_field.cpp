#include "scenes/scenes.h"
#include "timeline/gl.h"

void draw_wave_field(double, float, DriftState&) {}
void update_drift(DriftState&) {}
