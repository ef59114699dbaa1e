#include "gl/record/gl_record.h"

#include <GL/gl.h>

#include <cstdio>

namespace {

// The recorder stands in for a driver, which is process-wide by nature.
GlCallSink current_sink = nullptr;
void* current_context = nullptr;

void emit(const GlCall& call) {
    if (current_sink != nullptr) {
        current_sink(call, current_context);
    }
}

void append_to_vector(const GlCall& call, void* context) {
    static_cast<std::vector<GlCall>*>(context)->push_back(call);
}

GlCall make(GlEntry entry) {
    return GlCall{entry, 0, {0, 0, 0, 0}, {0, 0, 0}};
}

const char* enum_name(unsigned int value) {
    switch (value) {
    case GL_POINTS:
        return "GL_POINTS";
    case GL_LINES:
        return "GL_LINES";
    case GL_COLOR_BUFFER_BIT:
        return "GL_COLOR_BUFFER_BIT";
    case GL_POINT_SMOOTH:
        return "GL_POINT_SMOOTH";
    default:
        return nullptr;
    }
}

void append_enum(std::string& line, unsigned int value) {
    line += ' ';
    if (const char* name = enum_name(value)) {
        line += name;
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", value);
        line += text;
    }
}

void append_floats(std::string& line, const float* values, int count) {
    for (int i = 0; i < count; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, " %.9g", static_cast<double>(values[i]));
        line += text;
    }
}

void append_doubles(std::string& line, const double* values, int count) {
    for (int i = 0; i < count; ++i) {
        char text[40];
        std::snprintf(text, sizeof text, " %.17g", values[i]);
        line += text;
    }
}

} // namespace

void gl_record_to(GlCallSink sink, void* context) {
    current_sink = sink;
    current_context = context;
}

void gl_record_into(std::vector<GlCall>& calls) {
    gl_record_to(append_to_vector, &calls);
}

const char* gl_entry_name(GlEntry entry) {
    switch (entry) {
    case GlEntry::clear:
        return "glClear";
    case GlEntry::push_matrix:
        return "glPushMatrix";
    case GlEntry::pop_matrix:
        return "glPopMatrix";
    case GlEntry::point_size:
        return "glPointSize";
    case GlEntry::enable:
        return "glEnable";
    case GlEntry::scaled:
        return "glScaled";
    case GlEntry::rotatef:
        return "glRotatef";
    case GlEntry::color3f:
        return "glColor3f";
    case GlEntry::begin:
        return "glBegin";
    case GlEntry::end:
        return "glEnd";
    case GlEntry::vertex2d:
        return "glVertex2d";
    case GlEntry::line_width:
        return "glLineWidth";
    }
    return "gl?";
}

std::string format_gl_call(const GlCall& call) {
    std::string line = gl_entry_name(call.entry);
    switch (call.entry) {
    case GlEntry::clear:
    case GlEntry::enable:
    case GlEntry::begin:
        append_enum(line, call.e);
        break;
    case GlEntry::point_size:
    case GlEntry::line_width:
        append_floats(line, call.f, 1);
        break;
    case GlEntry::rotatef:
        append_floats(line, call.f, 4);
        break;
    case GlEntry::color3f:
        append_floats(line, call.f, 3);
        break;
    case GlEntry::scaled:
        append_doubles(line, call.d, 3);
        break;
    case GlEntry::vertex2d:
        append_doubles(line, call.d, 2);
        break;
    case GlEntry::push_matrix:
    case GlEntry::pop_matrix:
    case GlEntry::end:
        break;
    }
    return line;
}

// The entry points themselves, with the signatures of <GL/gl.h>.
extern "C" {

void glClear(GLbitfield mask) {
    GlCall call = make(GlEntry::clear);
    call.e = mask;
    emit(call);
}

void glPushMatrix(void) {
    emit(make(GlEntry::push_matrix));
}

void glPopMatrix(void) {
    emit(make(GlEntry::pop_matrix));
}

void glPointSize(GLfloat size) {
    GlCall call = make(GlEntry::point_size);
    call.f[0] = size;
    emit(call);
}

void glLineWidth(GLfloat width) {
    GlCall call = make(GlEntry::line_width);
    call.f[0] = width;
    emit(call);
}

void glEnable(GLenum cap) {
    GlCall call = make(GlEntry::enable);
    call.e = cap;
    emit(call);
}

void glScaled(GLdouble x, GLdouble y, GLdouble z) {
    GlCall call = make(GlEntry::scaled);
    call.d[0] = x;
    call.d[1] = y;
    call.d[2] = z;
    emit(call);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    GlCall call = make(GlEntry::rotatef);
    call.f[0] = angle;
    call.f[1] = x;
    call.f[2] = y;
    call.f[3] = z;
    emit(call);
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    GlCall call = make(GlEntry::color3f);
    call.f[0] = red;
    call.f[1] = green;
    call.f[2] = blue;
    emit(call);
}

void glBegin(GLenum mode) {
    GlCall call = make(GlEntry::begin);
    call.e = mode;
    emit(call);
}

void glEnd(void) {
    emit(make(GlEntry::end));
}

void glVertex2d(GLdouble x, GLdouble y) {
    GlCall call = make(GlEntry::vertex2d);
    call.d[0] = x;
    call.d[1] = y;
    emit(call);
}

} // extern "C"
