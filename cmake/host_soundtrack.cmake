# The soundtrack of a cross build (the Windows program, a browser build): the generator is built
# for the machine running the build (tools/soundtrack/host) and renders the same bytes a native
# build renders. Defines the `soundtrack` target and DADADAZO_GENERATED_SOUNDTRACK, the rendered
# file in generated/, which is also placed beside the program as a native build places it, and
# DADADAZO_HOST_WAV_SAMPLES, the build machine's wav_samples (built with the `soundtrack` target).
#
# The host generator is built with the build machine's default C++ compiler, or with
# DADADAZO_HOST_CXX_COMPILER where that is set.
include_guard(GLOBAL)
include(ExternalProject)

set(DADADAZO_HOST_CXX_COMPILER "" CACHE FILEPATH
    "C++ compiler for the build machine's soundtrack generator (empty: the default one)")
set(host_generator_args -DCMAKE_BUILD_TYPE=Release)
if(DADADAZO_HOST_CXX_COMPILER)
  list(APPEND host_generator_args -DCMAKE_CXX_COMPILER=${DADADAZO_HOST_CXX_COMPILER})
endif()

set(host_generator_dir ${CMAKE_BINARY_DIR}/soundtrack-host)
set(host_generator ${host_generator_dir}/soundtrack_gen)
set(DADADAZO_HOST_WAV_SAMPLES ${host_generator_dir}/wav_samples)
ExternalProject_Add(soundtrack_host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/soundtrack/host
  BINARY_DIR ${host_generator_dir}
  CMAKE_ARGS ${host_generator_args}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON # a no-op unless the generator's sources changed
  BUILD_BYPRODUCTS ${host_generator} ${DADADAZO_HOST_WAV_SAMPLES})

include(${PROJECT_SOURCE_DIR}/tools/soundtrack/render_soundtrack.cmake)
dadadazo_render_soundtrack(${host_generator} soundtrack_host ${host_generator})
