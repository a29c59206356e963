# Installation (cmake --install) and the Debian package (cpack -G DEB).
#   bin/                     pimlora, pimlora-cli, setupfetch
#   share/pimlora/           the default configuration files (read-only)
#   share/applications/      pimlora.desktop
#   share/icons/hicolor/     the program's icon, 16 to 256 pixels and scalable
#   share/metainfo/          AppStream metadata
#   share/mime/packages/     the VOR document type
#   share/thumbnailers/      thumbnails of VOR documents for file managers
#   share/man/man1/          pimlora(1), pimlora-cli(1), setupfetch(1)
#   share/bash-completion/   completion of pimlora-cli
include(GNUInstallDirs)

# The build folder gets the read-only files where the programs look for them
# (<build>/resources), so that a program run from there never reads the
# source tree.
foreach(f RoviCon_380.ini FirstShow.ini)
  configure_file(${CMAKE_SOURCE_DIR}/resources/${f} ${CMAKE_BINARY_DIR}/resources/${f} COPYONLY)
endforeach()

if(DEFINED PIMLORA_VERSION_NUMBER)
  math(EXPR _major "${PIMLORA_VERSION_NUMBER} / 100")
  math(EXPR _minor "${PIMLORA_VERSION_NUMBER} % 100")
  if(_minor LESS 10)
    set(_minor "0${_minor}")
  endif()
  set(PIMLORA_PACKAGE_VERSION "${_major}.${_minor}")
else()
  set(PIMLORA_PACKAGE_VERSION "${PROJECT_VERSION}")
endif()

set(_programs pimlora-cli)
foreach(t pimlora setupfetch)
  if(TARGET ${t})
    list(APPEND _programs ${t})
  endif()
endforeach()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/RoviCon_380.ini ${CMAKE_SOURCE_DIR}/resources/FirstShow.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pimlora)

set(_data ${CMAKE_SOURCE_DIR}/data)
install(FILES ${_data}/pimlora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(s 16 22 24 32 48 64 128 256)
  install(FILES ${_data}/icons/pimlora-${s}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${s}x${s}/apps
          RENAME pimlora.png)
endforeach()
install(FILES ${_data}/icons/pimlora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${_data}/com.vandelore.pimlora.metainfo.xml ${CMAKE_BINARY_DIR}/data/com.vandelore.pimlora.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/com.vandelore.pimlora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_data}/pimlora-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME pimlora.xml)
install(FILES ${_data}/pimlora.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(FILES ${_data}/completions/pimlora-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Manuals: pimlora-cli(1) is made from the program's --help at build time.
set(_man ${CMAKE_BINARY_DIR}/man)
add_custom_command(
  OUTPUT ${_man}/pimlora-cli.1
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_man}
  COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:pimlora-cli> -DIN=${CMAKE_SOURCE_DIR}/man/pimlora-cli.1.in
          -DOUT=${_man}/pimlora-cli.1 -P ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
  DEPENDS pimlora-cli ${CMAKE_SOURCE_DIR}/man/pimlora-cli.1.in ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
  COMMENT "Manual page of pimlora-cli from its --help"
  VERBATIM)
add_custom_target(manpages ALL DEPENDS ${_man}/pimlora-cli.1)
install(FILES ${_man}/pimlora-cli.1 ${CMAKE_SOURCE_DIR}/man/pimlora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET setupfetch AND EXISTS ${CMAKE_SOURCE_DIR}/man/setupfetch.1)
  install(FILES ${CMAKE_SOURCE_DIR}/man/setupfetch.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The Debian package.
set(CPACK_PACKAGE_NAME pimlora)
set(CPACK_PACKAGE_VERSION ${PIMLORA_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "Vandelore")
set(CPACK_PACKAGE_CONTACT "Vandelore <pimlora@vandelore.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "layered photo editor with a Korean user interface")
set(CPACK_PACKAGE_DESCRIPTION "Pimlora opens BMP, JPEG, GIF, TIFF and PCX pictures and its own layered VOR\n documents and edits them on up to 40 layers with selections, paint tools,\n text and balloon layers, filters, transforms and 20 undo steps.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libsane1, breeze-icon-theme")
set(CPACK_GENERATOR DEB)
include(CPack)
