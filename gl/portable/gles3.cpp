#include "gl/portable/gles3.h"

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
