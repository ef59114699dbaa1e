# cmake -DPROGRAM=<file.exe> -P check_console.cmake
# Fails unless PROGRAM is a PE image for the console subsystem, so that the menu and the time
# lines have a console to go to when the program is started from Explorer.
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "${PROGRAM}: no such file")
endif()

# A little-endian number of `size` bytes at `offset`.
function(read_le offset size out)
  file(READ "${PROGRAM}" hex OFFSET ${offset} LIMIT ${size} HEX)
  string(LENGTH "${hex}" length)
  math(EXPR wanted "${size} * 2")
  if(NOT length EQUAL wanted)
    message(FATAL_ERROR "${PROGRAM}: too short for a PE image")
  endif()
  set(value 0)
  math(EXPR last "${size} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "${i} * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

read_le(0 2 dos_magic)
if(NOT dos_magic EQUAL 0x5A4D)
  message(FATAL_ERROR "${PROGRAM}: not an MZ executable")
endif()
read_le(60 4 pe_offset)
read_le(${pe_offset} 4 signature)
if(NOT signature EQUAL 0x4550)
  message(FATAL_ERROR "${PROGRAM}: no PE signature")
endif()
# The optional header follows the 4-byte signature and the 20-byte file header; its subsystem
# field lies at offset 68 in both the 32-bit and the 64-bit layout.
math(EXPR subsystem_offset "${pe_offset} + 4 + 20 + 68")
read_le(${subsystem_offset} 2 subsystem)
if(NOT subsystem EQUAL 3)
  message(FATAL_ERROR "${PROGRAM}: subsystem ${subsystem}, not the console subsystem (3)")
endif()
message(STATUS "${PROGRAM}: console subsystem")
