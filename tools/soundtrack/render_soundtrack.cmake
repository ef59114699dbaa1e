# dadadazo_render_soundtrack(GENERATOR [DEPENDS...]): the `soundtrack` target. GENERATOR (a
# target or a program path) renders the polka into generated/ first; it is then put next to the
# program, where the show is started from, unless a file of the user's own lies there already.
# Sets DADADAZO_GENERATED_SOUNDTRACK, the rendered file, in the caller's scope.
include_guard(GLOBAL)

function(dadadazo_render_soundtrack generator)
  set(generated ${CMAKE_BINARY_DIR}/generated/tarmelipolkka.wav)
  add_custom_command(
    OUTPUT ${generated}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND ${generator} ${generated}
    DEPENDS ${ARGN}
    COMMENT "Rendering the soundtrack tarmelipolkka.wav"
    VERBATIM)
  add_custom_target(soundtrack ALL
    COMMAND ${CMAKE_COMMAND} -DGENERATED=${generated}
            -DDESTINATION=${CMAKE_BINARY_DIR}/tarmelipolkka.wav
            -DRECORD=${CMAKE_BINARY_DIR}/generated/tarmelipolkka.placed
            -P ${PROJECT_SOURCE_DIR}/tools/soundtrack/place_soundtrack.cmake
    DEPENDS ${generated}
    VERBATIM)
  set(DADADAZO_GENERATED_SOUNDTRACK ${generated} PARENT_SCOPE)
endfunction()
