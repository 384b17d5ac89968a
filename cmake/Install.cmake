# SPDX-License-Identifier: GPL-3.0-or-later
# Where `cmake --install` puts the program, as a Linux desktop expects it: the program folder
# lib/flipbookcam holds the executable with readme.txt and snap.wav beside it (the program finds them
# in its own folder); bin/ links to it, and the desktop entry, icon and metainfo make it appear in the
# menu and the software centre. The Debian package (cmake/Package.cmake) installs the same under /usr.
include(GNUInstallDirs)
# Private to the program, so not in a multiarch library folder.
set(FLIPBOOK_PROGRAM_FOLDER lib/flipbookcam)
# The desktop entry, icon and metainfo share the program's reverse-DNS id, as the desktop expects.
set(FLIPBOOK_APP_ID org.example.flipbookcam)
set(FLIPBOOK_HOMEPAGE https://flipbookcam.example.org/)
# Where the repository's files are published; screenshot addresses are this plus their paths.
set(FLIPBOOK_SOURCE_FILES https://flipbookcam.example.org/source/raw/main/)

install(TARGETS flipbookcam RUNTIME DESTINATION ${FLIPBOOK_PROGRAM_FOLDER})
install(FILES ${PROJECT_SOURCE_DIR}/resources/readme.txt ${PROJECT_SOURCE_DIR}/resources/snap.wav
        DESTINATION ${FLIPBOOK_PROGRAM_FOLDER})
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK ../${FLIPBOOK_PROGRAM_FOLDER}/flipbookcam
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/flipbookcam\" SYMBOLIC)
")
foreach(tool flipbookcam-graphs flipbookcam-export)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/${FLIPBOOK_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/${FLIPBOOK_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${PROJECT_SOURCE_DIR}/resources/${FLIPBOOK_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/resources/${FLIPBOOK_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/resources/${FLIPBOOK_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, kept as troff with the version and date filled in, compressed as man expects them.
# gzip -n leaves out the name and time stamp, so the same sources give the same bytes.
set(manual_pages "")
foreach(page flipbookcam flipbookcam-export flipbookcam-graphs)
  set(troff ${PROJECT_BINARY_DIR}/resources/man/${page}.1)
  configure_file(${PROJECT_SOURCE_DIR}/resources/man/${page}.1.in ${troff} @ONLY)
  add_custom_command(OUTPUT ${troff}.gz
    COMMAND gzip -9 -n -c ${troff} > ${troff}.gz
    DEPENDS ${troff}
    COMMENT "Compressing the manual page ${page}(1)")
  list(APPEND manual_pages ${troff}.gz)
endforeach()
add_custom_target(flipbookcam_manual_pages ALL DEPENDS ${manual_pages})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
