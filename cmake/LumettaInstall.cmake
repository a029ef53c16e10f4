# What `cmake --install` puts under the prefix: the program, and what a Linux
# desktop needs to show it in its menus (the desktop entry, the icon in the
# hicolor theme at every size the generator draws, the AppStream metainfo).
# Each is named after the bundle identifier, so that the desktop entry, the
# icon and the running window (its desktop file name) match one another.
include(GNUInstallDirs)

set(LUMETTA_DESKTOP_ID "${LUMETTA_BUNDLE_IDENTIFIER}")
set(lumetta_linux_resources ${PROJECT_SOURCE_DIR}/resources/linux)

configure_file(${lumetta_linux_resources}/lumetta.desktop.in
  ${PROJECT_BINARY_DIR}/linux/${LUMETTA_DESKTOP_ID}.desktop @ONLY)
configure_file(${lumetta_linux_resources}/lumetta.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/linux/${LUMETTA_DESKTOP_ID}.metainfo.xml @ONLY)

install(TARGETS lumetta RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/linux/${LUMETTA_DESKTOP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/linux/${LUMETTA_DESKTOP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

file(GLOB lumetta_icon_sizes RELATIVE ${PROJECT_SOURCE_DIR}/resources/icons/hicolor
  ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/*)
foreach(size ${lumetta_icon_sizes})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}/apps/lumetta.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps
    RENAME ${LUMETTA_DESKTOP_ID}.png)
endforeach()
