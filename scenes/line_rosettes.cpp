#include "scenes/scenes.h"
#include "timeline/gl.h"
void draw_line_rosettes(double) {}
