# Install rules and the Debian package built from them:
#   cmake --install build --prefix P      P/bin, P/share/vorlek, P/share/man/man1
#   cmake --build build --target package  build/vorlek_<version>_<arch>.deb

install(TARGETS vorlek vorlek-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/vorlek.ogg DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlek)
foreach(page vorlek.1 vorlek-capture.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.in ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorlek)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual demo for the text terminal")
set(CPACK_PACKAGE_DESCRIPTION
    "A 92-second show of six parts, rendered with OpenGL ES into offscreen pbuffers and drawn as\
 80 x 50 coloured characters in the terminal, with one music track. vorlek-capture plays it\
 offline into text, pictures, terminal recordings or a video.")
set(CPACK_PACKAGE_CONTACT "vorlek developers <vorlek@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# Libraries come from dpkg-shlibdeps; Mesa's EGL driver is loaded at run time, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl-mesa0, libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "console-setup-linux")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
