#include "scenes/scenes.h"
#include "timeline/gl.h"
void draw_wave_rows(double) {}
