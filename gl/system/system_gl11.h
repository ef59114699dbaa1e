// The frame's OpenGL 1.1 calls forwarded to a driver's own OpenGL 1.1, whose functions are loaded
// at run time (from EGL, for instance). A program that links the recorder (dadadazo_gl_record) in
// place of a GL library can still draw exactly what the driver's fixed-function path draws.
#pragma once

#include "gl/gl11_entries.h"

#include <string>

// The driver's entry points, by their names without "gl".
struct SystemGl11Functions {
#define DADADAZO_GL11_MEMBER(entry, Name, parameters, names, fields) void(*Name) parameters;
    DADADAZO_GL11_ENTRIES(DADADAZO_GL11_MEMBER)
#undef DADADAZO_GL11_MEMBER
};

// Fills `functions` through `load`; when one is missing stores its name in `error` and returns
// false.
bool load_system_gl11_functions(void* (*load)(const char* name), SystemGl11Functions* functions,
                                std::string* error);

// From now on the frame's GL 1.1 entry points call `functions` (which must outlive the use);
// nullptr discards them.
void system_gl11_make_current(const SystemGl11Functions* functions);
