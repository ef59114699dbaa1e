// The frame's OpenGL 1.1 calls forwarded to a driver's own OpenGL 1.1, whose functions are loaded
// at run time (from EGL, for instance). A program that links the recorder (dadadazo_gl_record) in
// place of a GL library can still draw exactly what the driver's fixed-function path draws.
#pragma once

#include <string>

struct SystemGl11Functions {
    void (*Clear)(unsigned int mask);
    void (*PushMatrix)();
    void (*PopMatrix)();
    void (*PointSize)(float size);
    void (*LineWidth)(float width);
    void (*Enable)(unsigned int cap);
    void (*Scaled)(double x, double y, double z);
    void (*Rotatef)(float angle, float x, float y, float z);
    void (*Color3f)(float red, float green, float blue);
    void (*Begin)(unsigned int mode);
    void (*End)();
    void (*Vertex2d)(double x, double y);
};

// Fills `functions` through `load`; when one is missing stores its name in `error` and returns
// false.
bool load_system_gl11_functions(void* (*load)(const char* name), SystemGl11Functions* functions,
                                std::string* error);

// From now on the frame's GL 1.1 entry points call `functions` (which must outlive the use);
// nullptr discards them.
void system_gl11_make_current(const SystemGl11Functions* functions);
