# Where `cmake --install` puts the program, as a Linux desktop expects it: the program folder
# lib/flipbookcam holds the executable with readme.txt and snap.wav beside it (the program finds them
# in its own folder); bin/ links to it, and the desktop entry and icon make it appear in the menu.
include(GNUInstallDirs)
set(FLIPBOOK_PROGRAM_FOLDER ${CMAKE_INSTALL_LIBDIR}/flipbookcam)

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
install(FILES ${PROJECT_SOURCE_DIR}/resources/flipbookcam.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/flipbookcam.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
