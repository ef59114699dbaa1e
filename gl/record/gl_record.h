// A recording implementation of the OpenGL 1.1 entry points the frame uses. A program that links
// this library instead of the system's GL gets every call handed to a sink, in call order, with
// its arguments exactly as passed.
#pragma once

#include "gl/gl11_entries.h"

#include <string>
#include <vector>

// One value per entry point, in the order of DADADAZO_GL11_ENTRIES.
enum class GlEntry : unsigned char {
#define DADADAZO_GL11_ENUM(entry, Name, parameters, names, fields) entry,
    DADADAZO_GL11_ENTRIES(DADADAZO_GL11_ENUM)
#undef DADADAZO_GL11_ENUM
};

struct GlCall {
    GlEntry entry;
    unsigned int e; // the GLenum or GLbitfield argument: glClear, glEnable, glBegin
    float f[4];     // GLfloat arguments in order: glPointSize, glLineWidth, glRotatef, glColor3f
    double d[3];    // GLdouble arguments in order: glScaled, glVertex2d
};

using GlCallSink = void (*)(const GlCall& call, void* context);

// Sends every later call to `sink` (nullptr discards them). One sink for the whole process.
void gl_record_to(GlCallSink sink, void* context);

// Appends every later call to `calls` until the next gl_record_to.
void gl_record_into(std::vector<GlCall>& calls);

const char* gl_entry_name(GlEntry entry);

// The call as one line of text without newline: the entry point's name and its arguments,
// separated by single spaces; enums by their GL names, floats with "%.9g", doubles with "%.17g".
std::string format_gl_call(const GlCall& call);
