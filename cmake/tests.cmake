# How every test runs, for the tests and the fuzz corpus replays alike.

# Leaks inside the system's X11, GL and SDL libraries are theirs, not the show's; a UBSan report
# fails the test; the builds a test makes (the packages, the web and Windows trees) fail on a
# warning.
#
# The leak checker does not read thread-local storage for roots (use_tls=0). GCC 12's sanitizer
# runtime guesses the bounds of a dynamically loaded library's thread-local block from the word
# in front of it whenever the block starts 16 bytes into a page, and with AddressSanitizer's
# allocator that word is no size at all. Mesa's llvmpipe (swrast_dri.so with libLLVM, loaded at
# run time by libEGL or libGL) takes such a block on the main thread when it compiles shaders,
# that is when its shader cache is cold, and the checker then crashes reading a range that starts
# near address 0 ("Tracer caught signal 11", "LeakSanitizer has encountered a fatal error") after
# the program has done its work. Without those roots the checker can only report more, never
# less; what it then reports that is no leak, the dynamic loader's own lists, is
# named in tests/lsan.supp.
set(DADADAZO_TEST_ENV
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0:use_tls=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "DADADAZO_WERROR=ON")

# Each test starts from what a fresh machine has: empty home, cache, configuration and data
# folders of its own (tests/lib/fresh_home.sh), made under the build folder and removed after.
set(DADADAZO_TEST_LAUNCHER ${PROJECT_SOURCE_DIR}/tests/lib/fresh_home.sh
                           ${PROJECT_BINARY_DIR}/fresh-homes)

# dadadazo_test(NAME COMMAND [ARGUMENT...]): one CTest test, run through the launcher with the
# tests' environment.
function(dadadazo_test name)
  add_test(NAME ${name} COMMAND ${DADADAZO_TEST_LAUNCHER} ${ARGN})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${DADADAZO_TEST_ENV}")
endfunction()

# dadadazo_gtest(NAME SOURCES files... LIBS targets...): one GoogleTest program, each of its
# tests registered with CTest and run through the launcher. CMake 3.25's test discovery takes the
# launcher from CROSSCOMPILING_EMULATOR; later versions take TEST_LAUNCHER, and that one alone.
function(dadadazo_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(CMAKE_VERSION VERSION_LESS 3.29)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${DADADAZO_TEST_LAUNCHER}")
  else()
    set_target_properties(${name} PROPERTIES TEST_LAUNCHER "${DADADAZO_TEST_LAUNCHER}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "${DADADAZO_TEST_ENV}")
endfunction()
