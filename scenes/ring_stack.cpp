#include "scenes/scenes.h"
#include "timeline/gl.h"
void draw_ring_stack(double, float) {}
