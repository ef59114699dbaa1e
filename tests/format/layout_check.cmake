# cmake -DROOT=<source folder> -P layout_check.cmake
#
# Checks the Layout of docs/development.md against the tree. The Layout is read line by line: a
# bullet at the margin that opens with a folder in backquotes ("- `tools/capture/`: ...") starts
# that folder's entry, which runs on through its indented lines and sub-bullets; any other line
# at the margin goes back to the top of the tree. In an entry:
#   - a name with an extension (`capture.cpp`, `mingw-w64.cmake`) or a path must exist, taken
#     from the folder or else from the top;
#   - a lowercase stem (`draw_frame`) must be the name of a file of the folder without its
#     extension; anything else in backquotes (`run_demo()`, `DriftState`, `--help`) is free text.
# Every file of the folders below (all their subfolders, CMakeLists.txt aside) must be named in
# its folder's entry, by name or stem, or anywhere by its path; the files at the top of scripts/
# and tests/ likewise.
# Fails with one line per fault.

cmake_minimum_required(VERSION 3.25)

set(deep_folders app platform timeline scenes gl wav png tools tests/lib)
set(flat_folders scripts tests)

file(READ ${ROOT}/docs/development.md text)
string(FIND "${text}" "\n## Layout\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "docs/development.md has no \"## Layout\" section")
endif()
string(SUBSTRING "${text}" ${start} -1 text)
string(SUBSTRING "${text}" 11 -1 text)
string(FIND "${text}" "\n## " end)
if(NOT end EQUAL -1)
  string(SUBSTRING "${text}" 0 ${end} text)
endif()
# One list item a line; the characters CMake's lists treat specially go first.
string(REGEX REPLACE "[][;\\\\]" "_" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

# named_<folder>: the names given in that folder's entry ("" for the top).
set(faults "")
set(folder "")
set(folders_seen "")
foreach(line IN LISTS lines)
  if(line MATCHES "^- `([^`]*/)`")
    string(REGEX REPLACE "/$" "" folder "${CMAKE_MATCH_1}")
    list(APPEND folders_seen "${folder}")
  elseif(line MATCHES "^[^ ]")
    set(folder "")
  endif()
  string(REGEX MATCHALL "`[^`]+`" tokens "${line}")
  foreach(token IN LISTS tokens)
    string(REGEX REPLACE "^`(.*)`$" "\\1" name "${token}")
    list(APPEND named_${folder} "${name}")
  endforeach()
endforeach()

# Every name the Layout gives must be there.
list(REMOVE_DUPLICATES folders_seen)
foreach(where IN ITEMS "" LISTS folders_seen)
  foreach(name IN LISTS named_${where})
    set(base "${ROOT}/${where}")
    if(name MATCHES "^[A-Za-z0-9_./-]+$" AND (name MATCHES "/" OR name MATCHES "\\.[a-z]"))
      if(NOT EXISTS "${base}/${name}" AND NOT EXISTS "${ROOT}/${name}")
        list(APPEND faults "the Layout names ${name} in `${where}/`, which does not exist")
      endif()
    elseif(NOT where STREQUAL "" AND name MATCHES "^[a-z][a-z0-9_]*$")
      file(GLOB stem_files "${base}/${name}" "${base}/${name}.*")
      if(NOT stem_files)
        list(APPEND faults "the Layout names ${name} in `${where}/`, where no file has that stem")
      endif()
    endif()
  endforeach()
endforeach()

# The files of the tree: tracked ones in a checkout (those deleted from it aside), otherwise
# whatever lies there.
execute_process(COMMAND git -C ${ROOT} ls-files ${deep_folders} ${flat_folders}
                RESULT_VARIABLE git_failed OUTPUT_VARIABLE tracked ERROR_QUIET)
if(git_failed)
  set(tracked "")
  foreach(top IN LISTS deep_folders flat_folders)
    file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/${top}/*)
    list(APPEND tracked ${files})
  endforeach()
else()
  string(REPLACE "\n" ";" tracked "${tracked}")
endif()

function(check_named path)
  get_filename_component(where "${path}" DIRECTORY)
  get_filename_component(name "${path}" NAME)
  string(REGEX REPLACE "\\.[^.]*$" "" stem "${name}")
  set(names ${named_${where}})
  if(NOT name IN_LIST names AND NOT stem IN_LIST names)
    foreach(list_folder IN ITEMS "" LISTS folders_seen)
      if(path IN_LIST named_${list_folder})
        return()
      endif()
    endforeach()
    set(faults ${faults} "${path} is not named in the Layout (a line under `${where}/`)"
        PARENT_SCOPE)
  endif()
endfunction()

foreach(path IN LISTS tracked)
  get_filename_component(name "${path}" NAME)
  if(path STREQUAL "" OR name STREQUAL "CMakeLists.txt" OR NOT EXISTS "${ROOT}/${path}")
    continue()
  endif()
  # Of scripts/ and tests/, only the files at their top.
  get_filename_component(where "${path}" DIRECTORY)
  if(where MATCHES "^(scripts|tests)/" AND NOT where STREQUAL "tests/lib")
    continue()
  endif()
  check_named("${path}")
endforeach()

list(REMOVE_DUPLICATES faults)
if(faults)
  list(JOIN faults "\n  " report)
  message(FATAL_ERROR "docs/development.md's Layout does not match the tree:\n  ${report}\n"
                      "Name each file by its name or stem in its folder's entry.")
endif()
message(STATUS "the Layout names every file, and every file it names exists")
