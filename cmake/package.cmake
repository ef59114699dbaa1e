# `cpack` in a Linux build folder makes the Debian package, in <build>/packages/. Its members are
# sorted and owned by root, and with SOURCE_DATE_EPOCH set (scripts/package.sh sets it) every time
# stamp is that one. The .tar.gz of a Linux build and the .zip files of the Windows and web builds
# are made by scripts/package.sh from the installed tree, named as CPack names its packages.
set(CPACK_PACKAGE_NAME dadadazo)
set(CPACK_PACKAGE_VERSION ${DADADAZO_VERSION})
set(CPACK_PACKAGE_VENDOR "dadadazo developers")
set(CPACK_PACKAGE_CONTACT "dadadazo developers <dadadazo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "61-second show of points and lines to a polka")
# Lines under 80 characters, as Debian's tools expect of a package's description.
set(CPACK_PACKAGE_DESCRIPTION
    "A self-running audiovisual show: pick a display mode from the console\n"
    "menu, and five point-and-line scenes, drawn with OpenGL 1.1, play to a\n"
    "generated polka. Comes with dadadazo-capture, which renders the show's\n"
    "frames to PNG pictures or a video without a window, and dadadazo-trace,\n"
    "which prints the OpenGL calls of any frame.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)

if(EMSCRIPTEN)
  # dadadazo-VERSION-web.zip
  set(CPACK_SYSTEM_NAME web)
elseif(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Not "games": Debian keeps those in /usr/games, and the show finds its data from bin/.
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Videos from dadadazo-capture go through ffmpeg.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
endif()

include(CPack)
