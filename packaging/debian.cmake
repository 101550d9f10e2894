# packaging/: the Debian package (CPack DEB): what goes into it beyond the program's own install rules (copyright,
# changelog, manual page) and its control fields. Built by scripts/package; the dependencies on shared libraries
# the binary links are found by dpkg-shlibdeps.

# Debian's documentation folder is named after the package, not the project.
set(CORVANA_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/corvana)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CORVANA_PACKAGE_DOCDIR})

# Debian wants these compressed at maximum, without a time stamp in the header (the same bytes every build).
find_program(CORVANA_GZIP gzip REQUIRED)
set(corvana_gzipped "")
function(corvana_install_gzipped source destination name)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name})
  add_custom_command(OUTPUT ${output}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
                     COMMAND sh -c "${CORVANA_GZIP} -9n -c \"$1\" > \"$2\"" gzip ${source} ${output}
                     DEPENDS ${source}
                     VERBATIM)
  install(FILES ${output} DESTINATION ${destination})
  set(corvana_gzipped ${corvana_gzipped} ${output} PARENT_SCOPE)
endfunction()
corvana_install_gzipped(${CMAKE_CURRENT_LIST_DIR}/changelog ${CORVANA_PACKAGE_DOCDIR} changelog.gz)
corvana_install_gzipped(${CMAKE_CURRENT_LIST_DIR}/corvana.1 ${CMAKE_INSTALL_MANDIR}/man1 corvana.1.gz)
add_custom_target(corvana_package_docs ALL DEPENDS ${corvana_gzipped})

# libmpv is loaded by its SONAME at run time (player/libmpv_loader.cpp), so dpkg-shlibdeps cannot see it: name the
# package that holds the library the build found. The SVG icon engine is a Qt plug-in, equally out of its sight.
execute_process(COMMAND dpkg-query -S ${MPV_LIBRARY}
                OUTPUT_VARIABLE mpv_owner ERROR_QUIET RESULT_VARIABLE mpv_owner_result)
if(mpv_owner_result EQUAL 0 AND mpv_owner MATCHES "^([^:, ]+)")
  set(CORVANA_LIBMPV_PACKAGE ${CMAKE_MATCH_1})
else()
  set(CORVANA_LIBMPV_PACKAGE libmpv2)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvana)
set(CPACK_PACKAGE_VENDOR "Ostrel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvana developers <corvana@ostrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small player for internet radio")
# Lines of at most 80 characters, for the terminals apt and dpkg show them on.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Corvana keeps a list of internet radio stations and plays them. Double-click"
  "a station to listen; play, stop, volume and mute are in the menu bar and in"
  "the notification-area icon."
  "It plays http and https streams, MMS, RTSP, HLS and playlists (PLS, M3U, ASX),"
  "shows the title now playing, and keeps the list in a plain text file in code"
  "page 936, as the Windows players of old did.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # corvana_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.ostrel.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ca-certificates: the station directory's certificates are verified against the system's authorities.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CORVANA_LIBMPV_PACKAGE}, libqt6svg6, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
