# Plays through the life of a build folder: placing the soundtrack, new renders, the user's own
# file, the user deleting it, and a link the user made.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(generated "${WORK_DIR}/generated.wav")
set(destination "${WORK_DIR}/tarmelipolkka.wav")
set(record "${WORK_DIR}/placed")

function(place)
  execute_process(COMMAND ${CMAKE_COMMAND} -DGENERATED=${generated} -DDESTINATION=${destination}
                          -DRECORD=${record} -P ${PLACE_SCRIPT}
                  RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "placing failed (${result})")
  endif()
endfunction()

function(expect_destination content why)
  file(READ "${destination}" actual)
  if(NOT actual STREQUAL content)
    message(FATAL_ERROR "${why}: the run folder holds '${actual}', not '${content}'")
  endif()
endfunction()

file(WRITE "${generated}" "render one")
place()
expect_destination("render one" "a missing file is placed")
place()
expect_destination("render one" "placing again changes nothing")

file(WRITE "${generated}" "render two")
place()
expect_destination("render two" "an earlier render is replaced by the new one")

file(WRITE "${destination}" "the user's own music")
place()
expect_destination("the user's own music" "the user's file is kept")
file(WRITE "${generated}" "render three")
place()
expect_destination("the user's own music" "the user's file is kept after a new render")

file(REMOVE "${destination}")
place()
expect_destination("render three" "a deleted file is placed again")

# Without the record, a file equal to the render is still left alone and nothing else is
# overwritten.
file(REMOVE "${record}")
file(WRITE "${destination}" "render two")
place()
expect_destination("render two" "without the record an older render is not known as ours")

file(WRITE "${WORK_DIR}/elsewhere.wav" "render three")
file(REMOVE "${destination}")
file(CREATE_LINK "${WORK_DIR}/elsewhere.wav" "${destination}" SYMBOLIC)
file(WRITE "${generated}" "render four")
place()
if(NOT IS_SYMLINK "${destination}")
  message(FATAL_ERROR "the user's link was replaced")
endif()
expect_destination("render three" "the user's link is kept and its file untouched")

if(EXISTS "${destination}.part")
  message(FATAL_ERROR "a partial copy was left behind")
endif()
