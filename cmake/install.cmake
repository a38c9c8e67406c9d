# Install rules and the Debian package: the programs (and orvana-dl-cli's modules), the desktop
# entry, the icons, the AppStream metainfo, the manual pages and the bash completion, all under one
# prefix (/usr in the package).
include(GNUInstallDirs)

set(ORVANA_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)
set(ORVANA_DIST_BINARY_DIR ${PROJECT_BINARY_DIR}/dist)
set(ORVANA_APP_ID example.orvana.orvana_dl)

# Manual pages: version and portal host filled in, then compressed as Debian ships them.
set(man_outputs)
foreach(page orvana-dl-cli orvana-dl orvana-portal-sim)
  configure_file(${ORVANA_DIST_DIR}/man/${page}.1.in ${ORVANA_DIST_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${ORVANA_DIST_BINARY_DIR}/man/${page}.1.gz
    COMMAND gzip -9 -n -c ${page}.1 > ${page}.1.gz
    DEPENDS ${ORVANA_DIST_BINARY_DIR}/man/${page}.1
    WORKING_DIRECTORY ${ORVANA_DIST_BINARY_DIR}/man
    COMMENT "Compressing the manual page ${page}(1)"
    VERBATIM)
  list(APPEND man_outputs ${ORVANA_DIST_BINARY_DIR}/man/${page}.1.gz)
endforeach()

configure_file(${ORVANA_DIST_DIR}/${ORVANA_APP_ID}.metainfo.xml
  ${ORVANA_DIST_BINARY_DIR}/${ORVANA_APP_ID}.metainfo.xml @ONLY)

add_custom_target(orvana_dist_files ALL DEPENDS ${man_outputs})
if(TARGET orvana_icons)
  add_dependencies(orvana_dist_files orvana_icons)
endif()

# Programs. The window exists only in GUI builds that carry it.
set(installed_programs orvana-dl-cli orvana-portal-sim)
if(TARGET orvana-dl)
  list(APPEND installed_programs orvana-dl)
endif()
install(TARGETS ${installed_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# orvana-dl-cli's commands: loaded by the program, never linked against, so no library mode.
set(cli_modules orvana-dl-cli-main orvana-dl-cli-downloads)
install(TARGETS ${cli_modules} LIBRARY DESTINATION ${ORVANA_CLI_MODULE_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

install(FILES ${ORVANA_DIST_DIR}/orvana-dl.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ORVANA_DIST_BINARY_DIR}/${ORVANA_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ORVANA_DIST_DIR}/icons/orvana-dl.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
if(TARGET orvana_icons)
  install(DIRECTORY ${ORVANA_ICON_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ORVANA_DIST_DIR}/completion/orvana-dl-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The Debian package (scripts/package). Dependencies come from the programs' shared libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvana-dl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "orvana-dl developers")
set(CPACK_PACKAGE_CONTACT "orvana-dl developers <orvana-dl@orvana.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download whole albums from the Orvana music portal")
set(CPACK_PACKAGE_DESCRIPTION
  "A desktop window, Orvana 专辑下载, and the command-line tool orvana-dl-cli download\n"
  "whole albums from the Orvana music portal: for every album a folder with its cover and\n"
  "one MP3 file per song. Songs already present are skipped. The offline sample portal\n"
  "orvana-portal-sim is included for trying the tools without the network.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvana.example/orvana-dl")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(TARGET orvana-dl)
  # Loaded at run time, so no shared-library dependency shows them: the SVG icon engine, and
  # fonts that draw the window's Chinese texts.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6, fonts-noto-cjk | fonts-wqy-microhei")
endif()
include(CPack)

# Everything the install rules take from the build: scripts/package and the package test build it.
add_custom_target(orvana_package_contents DEPENDS ${installed_programs} ${cli_modules}
  orvana_dist_files)
