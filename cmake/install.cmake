# What `cmake --install` puts where. Linux: the programs in bin/, the show's polka in
# share/dadadazo/ (the show finds it from its own location at run time, so an installed tree can
# be moved as a whole), manual pages, a desktop entry with its icon and the documentation.
# Windows: one folder with the program, the polka beside it and the README with its docs/. Web: the page as its
# build folder serves it (page, program, music) and the README with its docs/, one folder for any web server.
set(DADADAZO_VERSION 1.0.0)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The pages the README links to, kept in docs/ beside it wherever it goes.
set(DADADAZO_DOCS capture development packages speed web)
list(TRANSFORM DADADAZO_DOCS PREPEND ${PROJECT_SOURCE_DIR}/docs/)
list(TRANSFORM DADADAZO_DOCS APPEND .md)

if(EMSCRIPTEN)
  dadadazo_install_page()
  return()
endif()

if(WIN32)
  install(TARGETS dadadazo RUNTIME DESTINATION .)
  # The rendered polka, never a file of the user's own that lies beside the built program.
  install(FILES ${DADADAZO_GENERATED_SOUNDTRACK} ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  install(FILES ${DADADAZO_DOCS} DESTINATION docs)
  return()
endif()

include(GNUInstallDirs)
set(dist ${PROJECT_SOURCE_DIR}/dist)
set(dist_build ${CMAKE_BINARY_DIR}/dist)

# The data folder's place beside bin/ is what the show looks for at run time: not configurable.
install(TARGETS dadadazo dadadazo-capture dadadazo-trace RUNTIME DESTINATION bin)
install(FILES ${CMAKE_BINARY_DIR}/generated/tarmelipolkka.wav DESTINATION share/dadadazo)

# Manual pages and the changelog, compressed as Debian keeps them (gzip -n: no name or time, so
# the same sources give the same bytes).
set(compressed "")
foreach(page dadadazo.6 dadadazo-capture.1 dadadazo-trace.1)
  configure_file(${dist}/${page} ${dist_build}/${page} @ONLY)
endforeach()
configure_file(${dist}/changelog ${dist_build}/changelog COPYONLY)
foreach(file dadadazo.6 dadadazo-capture.1 dadadazo-trace.1 changelog)
  add_custom_command(
    OUTPUT ${dist_build}/${file}.gz
    COMMAND gzip -9nkf ${dist_build}/${file}
    DEPENDS ${dist_build}/${file}
    VERBATIM)
  list(APPEND compressed ${dist_build}/${file}.gz)
endforeach()
add_custom_target(dist_files ALL DEPENDS ${compressed})

install(FILES ${dist_build}/dadadazo.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${dist_build}/dadadazo-capture.1.gz ${dist_build}/dadadazo-trace.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${dist}/dadadazo.desktop DESTINATION share/applications)
install(FILES ${dist}/dadadazo.png DESTINATION share/icons/hicolor/256x256/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${dist}/copyright ${dist_build}/changelog.gz
        DESTINATION share/doc/dadadazo)
install(FILES ${DADADAZO_DOCS} DESTINATION share/doc/dadadazo/docs)
