# Builds the show for the web with Debian's Emscripten (WebAssembly plus the JavaScript that loads
# it). Emscripten's system libraries come prebuilt with the package, so nothing is built into its
# cache on first use.
set(DADADAZO_EMSCRIPTEN_ROOT /usr/share/emscripten CACHE PATH "Where Emscripten is installed")
include(${DADADAZO_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)

# emcc's link step runs node scripts that need acorn, which Debian keeps in /usr/share/nodejs, a
# folder node does not search by itself. The configure step's checks link too.
set(dadadazo_node_path /usr/share/nodejs)
set(ENV{NODE_PATH} ${dadadazo_node_path})
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${dadadazo_node_path})
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${dadadazo_node_path})
