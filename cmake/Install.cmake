# Installs the program as a desktop application (executable, desktop entry, themed icons,
# AppStream metadata, manual page, licence) and describes its Debian package.

include(GNUInstallDirs)

set(LUMISIGHT_ICON_SIZES 16 24 32 48 64 128 256)

configure_file(${CMAKE_SOURCE_DIR}/man/lumisight-webcam.1.in
    ${CMAKE_BINARY_DIR}/man/lumisight-webcam.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${LUMISIGHT_APP_ID}.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/packaging/${LUMISIGHT_APP_ID}.metainfo.xml @ONLY)

install(TARGETS lumisight-webcam RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${LUMISIGHT_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${LUMISIGHT_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${LUMISIGHT_ICON_SIZES})
    install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}/apps/lumisight-webcam.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/man/lumisight-webcam.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Debian keeps a package's licence as its copyright file.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "lumisight-webcam")
set(CPACK_PACKAGE_VENDOR "The Lumisight Webcam developers")
set(CPACK_PACKAGE_CONTACT "The Lumisight Webcam developers <maintainers@lumisight.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "take pictures with the notebook's built-in camera")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the live picture of the notebook's built-in USB camera (vendor identifier ${LUMISIGHT_VENDOR_ID}), takes pictures as numbered JPEG files in the Pictures folder and keeps a strip of their thumbnails. Texts in English and Traditional Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://lumisight.example/")
# The libraries the program links, by their Debian runtime package, plus what it needs beside
# them: Qt's Wayland platform plugin (a Wayland session without X11 has no other way to show
# the window), glyphs for the Traditional Chinese texts and xdg-open for opening pictures. The
# X11 platform plugin ships in libqt6gui6 itself.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6, libqt6gui6, libqt6dbus6, libqt6core6, qt6-wayland, libdbus-1-3, libudev1, libfreeimage3, libjpeg62-turbo, libxxhash0, libyuv0, libx11-6, fonts-noto-cjk | fonts-arphic-uming | fonts-wqy-zenhei, xdg-utils")
find_program(LUMISIGHT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(LUMISIGHT_DPKG_SHLIBDEPS)
    # Adds the exact library versions (and the C and C++ runtimes) the binary was linked against.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
