// The OpenGL 1.1 entry points the frame is drawn with, by their own names. The Windows show links
// the system's GL library; everything else links gl/record (dadadazo_gl_record), whose
// definitions of the same functions hand each call to a sink: a test's list, the tracer, the
// portable renderer or the driver's own OpenGL 1.1 loaded at run time (the Linux show uses the
// last two).
#pragma once

#include <GL/gl.h>
