#include "gl/portable/gles3.h"

#include "gl/portable/limits.h"

bool load_gles3_functions(GlProcLoader load, Gles3Functions* functions, std::string* error) {
    *functions = Gles3Functions{};
#define DADADAZO_GLES3_LOAD(type, name)                                                            \
    functions->name = reinterpret_cast<type>(load("gl" #name));                                    \
    if (functions->name == nullptr) {                                                              \
        *error = "the OpenGL ES 3 function gl" #name " is missing";                                \
        return false;                                                                              \
    }
    DADADAZO_GLES3_FUNCTIONS(DADADAZO_GLES3_LOAD)
#undef DADADAZO_GLES3_LOAD
    return true;
}

const char* shader_preamble(ShaderDialect dialect) {
    return dialect == ShaderDialect::es300 ? "#version 300 es\nprecision highp float;\n"
                                           : "#version 330 core\n";
}

namespace {

// Whether a shader or a program reached `status` (compiled, linked), its parameter read with
// `get_parameter`; where not, its info log, read with `get_log`, in `log`.
bool reached(PFNGLGETSHADERIVPROC get_parameter, PFNGLGETSHADERINFOLOGPROC get_log,
             unsigned int object, GLenum status, std::string* log) {
    GLint done = GL_FALSE;
    get_parameter(object, status, &done);
    if (done == GL_TRUE) {
        return true;
    }
    char text[portable::shader_log_size] = {};
    get_log(object, sizeof text, nullptr, text);
    *log = text;
    return false;
}

unsigned int compile_shader(const Gles3Functions& gl, GLenum kind, const std::string& source,
                            std::string* error) {
    const unsigned int shader = gl.CreateShader(kind);
    const char* text = source.c_str();
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    std::string log;
    if (!reached(gl.GetShaderiv, gl.GetShaderInfoLog, shader, GL_COMPILE_STATUS, &log)) {
        *error = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") +
                 " shader does not compile: " + log;
        gl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

unsigned int build_shader_program(const Gles3Functions& gl, const std::string& vertex_source,
                                  const std::string& fragment_source, std::string* error) {
    const unsigned int vertex = compile_shader(gl, GL_VERTEX_SHADER, vertex_source, error);
    if (vertex == 0) {
        return 0;
    }
    const unsigned int fragment = compile_shader(gl, GL_FRAGMENT_SHADER, fragment_source, error);
    if (fragment == 0) {
        gl.DeleteShader(vertex);
        return 0;
    }
    const unsigned int program = gl.CreateProgram();
    gl.AttachShader(program, vertex);
    gl.AttachShader(program, fragment);
    gl.LinkProgram(program);
    gl.DeleteShader(vertex);
    gl.DeleteShader(fragment);
    std::string log;
    if (!reached(gl.GetProgramiv, gl.GetProgramInfoLog, program, GL_LINK_STATUS, &log)) {
        *error = "shader program does not link: " + log;
        gl.DeleteProgram(program);
        return 0;
    }
    return program;
}
