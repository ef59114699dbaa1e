// The OpenGL 1.1 entry points the frame is drawn with, by their own names. The show links the
// system's GL library; the tools and tests link gl/record (dadadazo_gl_record), whose definitions
// of the same functions hand each call to a sink: a test's list, the tracer, the portable
// renderer or the driver's own OpenGL 1.1 loaded at run time.
#pragma once

#include <GL/gl.h>
