#include "gl/system/system_gl11.h"

#include "gl/record/gl_record.h"

namespace {

template <typename Function>
bool load_one(void* (*load)(const char* name), const char* name, Function* function,
              std::string* error) {
    *function = reinterpret_cast<Function>(load(name));
    if (*function == nullptr) {
        *error = std::string("the OpenGL 1.1 function ") + name + " is missing";
        return false;
    }
    return true;
}

void forward(const GlCall& call, void* context) {
    const SystemGl11Functions& gl = *static_cast<const SystemGl11Functions*>(context);
    switch (call.entry) {
    case GlEntry::clear:
        gl.Clear(call.e);
        break;
    case GlEntry::push_matrix:
        gl.PushMatrix();
        break;
    case GlEntry::pop_matrix:
        gl.PopMatrix();
        break;
    case GlEntry::point_size:
        gl.PointSize(call.f[0]);
        break;
    case GlEntry::line_width:
        gl.LineWidth(call.f[0]);
        break;
    case GlEntry::enable:
        gl.Enable(call.e);
        break;
    case GlEntry::scaled:
        gl.Scaled(call.d[0], call.d[1], call.d[2]);
        break;
    case GlEntry::rotatef:
        gl.Rotatef(call.f[0], call.f[1], call.f[2], call.f[3]);
        break;
    case GlEntry::color3f:
        gl.Color3f(call.f[0], call.f[1], call.f[2]);
        break;
    case GlEntry::begin:
        gl.Begin(call.e);
        break;
    case GlEntry::end:
        gl.End();
        break;
    case GlEntry::vertex2d:
        gl.Vertex2d(call.d[0], call.d[1]);
        break;
    }
}

} // namespace

bool load_system_gl11_functions(void* (*load)(const char* name), SystemGl11Functions* functions,
                                std::string* error) {
    *functions = SystemGl11Functions{};
    return load_one(load, "glClear", &functions->Clear, error) &&
           load_one(load, "glPushMatrix", &functions->PushMatrix, error) &&
           load_one(load, "glPopMatrix", &functions->PopMatrix, error) &&
           load_one(load, "glPointSize", &functions->PointSize, error) &&
           load_one(load, "glLineWidth", &functions->LineWidth, error) &&
           load_one(load, "glEnable", &functions->Enable, error) &&
           load_one(load, "glScaled", &functions->Scaled, error) &&
           load_one(load, "glRotatef", &functions->Rotatef, error) &&
           load_one(load, "glColor3f", &functions->Color3f, error) &&
           load_one(load, "glBegin", &functions->Begin, error) &&
           load_one(load, "glEnd", &functions->End, error) &&
           load_one(load, "glVertex2d", &functions->Vertex2d, error);
}

void system_gl11_make_current(const SystemGl11Functions* functions) {
    if (functions == nullptr) {
        gl_record_to(nullptr, nullptr);
    } else {
        gl_record_to(forward, const_cast<SystemGl11Functions*>(functions));
    }
}
