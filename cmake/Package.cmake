# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, built by scripts/package.sh with `cpack -G DEB` from a Release build configured
# for /usr: what cmake/Install.cmake installs, with the copyright and changelog Debian asks for. The
# version is the program's own (cmake/Version.cmake); the dependencies are computed when the package
# is made (cmake/PackageDependencies.cmake.in).
set(FLIPBOOK_MAINTAINER "Flipbook Cam developers <flipbookcam@example.org>")

set(debian_docs ${CMAKE_INSTALL_DATADIR}/doc/flipbookcam)
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in
               ${PROJECT_BINARY_DIR}/resources/debian/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/resources/debian/changelog.gz
  COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/resources/debian/changelog
          > ${PROJECT_BINARY_DIR}/resources/debian/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/resources/debian/changelog)
add_custom_target(flipbookcam_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/resources/debian/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright
              ${PROJECT_BINARY_DIR}/resources/debian/changelog.gz
        DESTINATION ${debian_docs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME flipbookcam)
set(CPACK_PACKAGE_VERSION ${FLIPBOOK_VERSION})
set(CPACK_PACKAGE_CONTACT ${FLIPBOOK_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${FLIPBOOK_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stop-motion animation with a video camera and an onion skin")
# Lines of the long description stay within 80 columns, as Debian asks.
set(CPACK_PACKAGE_DESCRIPTION
    "Flipbook Cam shows the live picture of a video camera and lays the last\n"
    "picture taken over it with an adjustable weight (the onion skin), so the\n"
    "next frame of a stop-motion series lines up with the one before.\n"
    "Snap saves the frame as PNG, JPEG or BMP in the background; the series\n"
    "plays back in the live view and exports as an MP4 (H.264) or WebM (VP9)\n"
    "video, also from the command line with flipbookcam-export.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Qt's platform plugin for X11; PackageDependencies.cmake asks which Debian package ships it.
set(FLIPBOOK_QT_XCB_PLUGIN ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms/libqxcb.so)
# Qt's libraries, which dpkg-shlibdeps names already (with their versions): a plugin they ship needs no
# second, unversioned entry.
set(FLIPBOOK_LINKED_QT_LIBRARIES "")
foreach(library Qt6::Core Qt6::Gui Qt6::Widgets)
  get_target_property(location ${library} LOCATION)
  list(APPEND FLIPBOOK_LINKED_QT_LIBRARIES ${location})
endforeach()
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/PackageDependencies.cmake)
configure_file(${PROJECT_SOURCE_DIR}/cmake/PackageDependencies.cmake.in ${CPACK_PROJECT_CONFIG_FILE} @ONLY)
include(CPack)
