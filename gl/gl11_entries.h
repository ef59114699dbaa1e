// Every OpenGL 1.1 entry point the frame calls, listed once. Each X(entry, Name, parameters,
// names, fields) gives its GlEntry value, its name without "gl", its parameters with the plain
// types <GL/gl.h> gives them (GLenum and GLbitfield are unsigned int, GLfloat float, GLdouble
// double), the parameters' names in order, and the GlCall fields that hold them in that order.
// The recorder defines the entry points from it and the system forwarder calls the driver's.
#pragma once

#define DADADAZO_GL11_ENTRIES(X)                                                                   \
    X(clear, Clear, (unsigned int mask), (mask), (call.e))                                         \
    X(push_matrix, PushMatrix, (), (), ())                                                         \
    X(pop_matrix, PopMatrix, (), (), ())                                                           \
    X(point_size, PointSize, (float size), (size), (call.f[0]))                                    \
    X(enable, Enable, (unsigned int cap), (cap), (call.e))                                         \
    X(scaled, Scaled, (double x, double y, double z), (x, y, z),                                   \
      (call.d[0], call.d[1], call.d[2]))                                                           \
    X(rotatef, Rotatef, (float angle, float x, float y, float z), (angle, x, y, z),                \
      (call.f[0], call.f[1], call.f[2], call.f[3]))                                                \
    X(color3f, Color3f, (float red, float green, float blue), (red, green, blue),                  \
      (call.f[0], call.f[1], call.f[2]))                                                           \
    X(begin, Begin, (unsigned int mode), (mode), (call.e))                                         \
    X(end, End, (), (), ())                                                                        \
    X(vertex2d, Vertex2d, (double x, double y), (x, y), (call.d[0], call.d[1]))                    \
    X(line_width, LineWidth, (float width), (width), (call.f[0]))
