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
#define DADADAZO_GL11_FORWARD(entry, Name, parameters, names, fields)                              \
    case GlEntry::entry:                                                                           \
        gl.Name fields;                                                                            \
        break;
        DADADAZO_GL11_ENTRIES(DADADAZO_GL11_FORWARD)
#undef DADADAZO_GL11_FORWARD
    }
}

} // namespace

bool load_system_gl11_functions(void* (*load)(const char* name), SystemGl11Functions* functions,
                                std::string* error) {
    *functions = SystemGl11Functions{};
#define DADADAZO_GL11_LOAD(entry, Name, parameters, names, fields)                                 \
    if (!load_one(load, "gl" #Name, &functions->Name, error)) {                                    \
        return false;                                                                              \
    }
    DADADAZO_GL11_ENTRIES(DADADAZO_GL11_LOAD)
#undef DADADAZO_GL11_LOAD
    return true;
}

void system_gl11_make_current(const SystemGl11Functions* functions) {
    if (functions == nullptr) {
        gl_record_to(nullptr, nullptr);
    } else {
        gl_record_to(forward, const_cast<SystemGl11Functions*>(functions));
    }
}
