// The OpenGL ES 3.0 functions the portable renderer (and the capture tool around it) calls, as a
// table of pointers loaded at run time: from EGL, from a web runtime, or from a desktop GL 3.3
// core context, which offers every one of them under the same name. Nothing here links a GL
// library, and no ES function is declared by name, so the frame's own OpenGL 1.1 entry points
// (glClear, glEnable, ...) can live in the same program without a clash.
#pragma once

#define GL_GLES_PROTOTYPES 0
#include <GLES3/gl3.h>

#include <string>

// X(type, name): every function of the table, loaded as "gl" + name.
#define DADADAZO_GLES3_FUNCTIONS(X)                                                                \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                                         \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                                             \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                   \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                                 \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                                   \
    X(PFNGLBUFFERDATAPROC, BufferData)                                                             \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                                       \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                     \
    X(PFNGLCLEARPROC, Clear)                                                                       \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                                             \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                                       \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                       \
    X(PFNGLCREATESHADERPROC, CreateShader)                                                         \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                                       \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                             \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                                       \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                           \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                                         \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                             \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                                               \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                                               \
    X(PFNGLDISABLEPROC, Disable)                                                                   \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)                                                             \
    X(PFNGLDRAWBUFFERSPROC, DrawBuffers)                                                           \
    X(PFNGLDRAWELEMENTSPROC, DrawElements)                                                         \
    X(PFNGLENABLEPROC, Enable)                                                                     \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                                   \
    X(PFNGLFINISHPROC, Finish)                                                                     \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                                   \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                                             \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                   \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                                 \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                                   \
    X(PFNGLGETERRORPROC, GetError)                                                                 \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                                               \
    X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC, GetFramebufferAttachmentParameteriv)           \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                                           \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                               \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                         \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                                 \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                           \
    X(PFNGLGETSTRINGPROC, GetString)                                                               \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                             \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                           \
    X(PFNGLMAPBUFFERRANGEPROC, MapBufferRange)                                                     \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                                           \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                                             \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                                           \
    X(PFNGLSCISSORPROC, Scissor)                                                                   \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                         \
    X(PFNGLUNIFORM1FPROC, Uniform1f)                                                               \
    X(PFNGLUNIFORM2FPROC, Uniform2f)                                                               \
    X(PFNGLUNMAPBUFFERPROC, UnmapBuffer)                                                           \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                                             \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                           \
    X(PFNGLVIEWPORTPROC, Viewport)                                                                 \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                       \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                                           \
    X(PFNGLCLIENTWAITSYNCPROC, ClientWaitSync)                                                     \
    X(PFNGLDELETESYNCPROC, DeleteSync)                                                             \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                                     \
    X(PFNGLFENCESYNCPROC, FenceSync)                                                               \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                         \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                                           \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                                             \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                                       \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                                               \
    X(PFNGLUNIFORM3FPROC, Uniform3f)                                                               \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                                                   \
    X(PFNGLLINEWIDTHPROC, LineWidth)

struct Gles3Functions {
#define DADADAZO_GLES3_MEMBER(type, name) type name;
    DADADAZO_GLES3_FUNCTIONS(DADADAZO_GLES3_MEMBER)
#undef DADADAZO_GLES3_MEMBER
};

using GlProcLoader = void* (*)(const char* name);

// The shading language of a context: GLSL ES 3.00 (OpenGL ES 3, WebGL 2) or GLSL 3.30 core.
enum class ShaderDialect { es300, glsl330 };

// What every shader in `dialect` starts with: its version line and, for ES, the float precision.
const char* shader_preamble(ShaderDialect dialect);

// Fills `functions` through `load`; when one is missing stores its name in `error` and returns
// false.
bool load_gles3_functions(GlProcLoader load, Gles3Functions* functions, std::string* error);

// Compiles and links a program from whole vertex and fragment sources (version line included).
// Returns 0 on failure, with the compiler's or the linker's log in `error`.
unsigned int build_shader_program(const Gles3Functions& gl, const std::string& vertex_source,
                                  const std::string& fragment_source, std::string* error);
