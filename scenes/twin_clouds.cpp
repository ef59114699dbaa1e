#include "scenes/scenes.h"
#include "timeline/gl.h"
void draw_twin_clouds(double, float) {}
