# Puts the generated soundtrack where the show plays it, never over a file of the user's own.
#
#   cmake -DGENERATED=<rendered wav> -DDESTINATION=<run folder>/tarmelipolkka.wav
#         -DRECORD=<list of what was placed> -P place_soundtrack.cmake
#
# RECORD lists the SHA-256 of every soundtrack this build folder has placed. The destination is
# written only when it is missing or holds one of those: anything else (a file with other bytes,
# a link, a folder) was put there by the user and is left as it is.
cmake_minimum_required(VERSION 3.25)
foreach(name GENERATED DESTINATION RECORD)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "place_soundtrack.cmake: -D${name}=... is missing")
  endif()
endforeach()
if(NOT EXISTS "${GENERATED}")
  message(FATAL_ERROR "place_soundtrack.cmake: ${GENERATED} does not exist")
endif()

file(SHA256 "${GENERATED}" generated_hash)
set(placed_hashes "")
if(EXISTS "${RECORD}")
  file(STRINGS "${RECORD}" placed_hashes)
endif()

set(place FALSE)
if(IS_SYMLINK "${DESTINATION}" OR IS_DIRECTORY "${DESTINATION}")
  set(place FALSE)
elseif(NOT EXISTS "${DESTINATION}")
  set(place TRUE)
else()
  file(SHA256 "${DESTINATION}" destination_hash)
  if(destination_hash STREQUAL generated_hash)
    set(place FALSE)
  elseif(destination_hash IN_LIST placed_hashes)
    set(place TRUE)
  else()
    message(STATUS "Keeping ${DESTINATION}: it is not one the build made, so it stays as it is")
  endif()
endif()

# Record before placing: if the copy is interrupted, the half-written file is still ours.
if(NOT generated_hash IN_LIST placed_hashes)
  file(APPEND "${RECORD}" "${generated_hash}\n")
endif()
if(place)
  file(COPY_FILE "${GENERATED}" "${DESTINATION}.part")
  file(RENAME "${DESTINATION}.part" "${DESTINATION}")
endif()
