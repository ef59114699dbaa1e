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

unsigned int compile_shader(const Gles3Functions& gl, GLenum kind, const std::string& source,
                            std::string* error) {
    const unsigned int shader = gl.CreateShader(kind);
    const char* text = source.c_str();
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    GLint compiled = GL_FALSE;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        char log[portable::shader_log_size] = {};
        gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
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
    GLint linked = GL_FALSE;
    gl.GetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        char log[portable::shader_log_size] = {};
        gl.GetProgramInfoLog(program, sizeof log, nullptr, log);
        *error = std::string("shader program does not link: ") + log;
        gl.DeleteProgram(program);
        return 0;
    }
    return program;
}
