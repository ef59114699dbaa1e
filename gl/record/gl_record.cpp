#include "gl/record/gl_record.h"

#include <GL/gl.h>

#include <cstdio>
#include <tuple>

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

void append_argument(std::string& line, unsigned int value) {
    append_enum(line, value);
}

void append_argument(std::string& line, float value) {
    char text[32];
    std::snprintf(text, sizeof text, " %.9g", static_cast<double>(value));
    line += text;
}

void append_argument(std::string& line, double value) {
    char text[40];
    std::snprintf(text, sizeof text, " %.17g", value);
    line += text;
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
#define DADADAZO_GL11_NAME(entry, Name, parameters, names, fields)                                 \
    case GlEntry::entry:                                                                           \
        return "gl" #Name;
        DADADAZO_GL11_ENTRIES(DADADAZO_GL11_NAME)
#undef DADADAZO_GL11_NAME
    }
    return "gl?";
}

std::string format_gl_call(const GlCall& call) {
    std::string line = gl_entry_name(call.entry);
    const auto append = [&line](auto... values) { (append_argument(line, values), ...); };
    switch (call.entry) {
#define DADADAZO_GL11_FORMAT(entry, Name, parameters, names, fields)                               \
    case GlEntry::entry:                                                                           \
        std::apply(append, std::tie fields);                                                       \
        break;
        DADADAZO_GL11_ENTRIES(DADADAZO_GL11_FORMAT)
#undef DADADAZO_GL11_FORMAT
    }
    return line;
}

// The entry points themselves, with the signatures of <GL/gl.h>: each stores its arguments in
// the fields its entry names and hands the call on.
extern "C" {

#define DADADAZO_GL11_RECORD(entry, Name, parameters, names, fields)                               \
    void gl##Name parameters {                                                                     \
        GlCall call{GlEntry::entry, 0, {0, 0, 0, 0}, {0, 0, 0}};                                   \
        std::tie fields = std::make_tuple names;                                                   \
        emit(call);                                                                                \
    }
DADADAZO_GL11_ENTRIES(DADADAZO_GL11_RECORD)
#undef DADADAZO_GL11_RECORD

} // extern "C"
