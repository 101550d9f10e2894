# app/: installs the menu entry and the icons where desktop shells look for them (hicolor, named after the desktop id),
# and the AppStream metadata software centres read.
set(CORVANA_DESKTOP_ID example.ostrel.Corvana)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${CORVANA_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/corvana-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${CORVANA_DESKTOP_ID}.png)
endforeach()

install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/corvana.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${CORVANA_DESKTOP_ID}.svg)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${CORVANA_DESKTOP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
