// The OpenGL 1.1 entry points the frame is drawn with, by their own names. The show links the
// system's GL library; tests and tools link a recording implementation of the same functions.
#pragma once

#include <GL/gl.h>
