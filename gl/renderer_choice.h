// Which renderer draws the frame's OpenGL 1.1 calls: the driver's own OpenGL 1.1 in a
// compatibility-profile context, or the portable renderer in an OpenGL ES 3 or GL 3.3 core
// context. The show and the capture tool take it from --renderer; gl/renderer/ opens either.
#pragma once

enum class Renderer { gl11, portable };
