// Which renderer draws the frame's OpenGL 1.1 calls: the driver's own OpenGL 1.1 in a
// compatibility-profile context, or the portable renderer in an OpenGL ES 3 or GL 3.3 core
// context. The show and the capture tool take it from --renderer; gl/renderer/ opens either.
#pragma once

#include <string_view>

enum class Renderer { gl11, portable };

// The renderer a command line names ("gl11" or "portable"); false for any other name.
constexpr bool renderer_named(std::string_view name, Renderer* renderer) {
    if (name == "gl11" || name == "portable") {
        *renderer = name == "gl11" ? Renderer::gl11 : Renderer::portable;
        return true;
    }
    return false;
}
