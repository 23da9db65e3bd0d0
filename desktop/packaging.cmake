# The Debian package: `cpack -G DEB` in a Release build tree gives varnholt_<version>_<arch>.deb
# with the program, its launcher, the menu entry, the icon and the manual page. Its
# dependencies (the Qt 6 libraries and what they need) are read from the program's shared
# libraries by dpkg-shlibdeps, so `apt install ./varnholt_*.deb` fetches them.
set(CPACK_PACKAGE_NAME varnholt)
set(CPACK_PACKAGE_VENDOR "Varnholt")
set(CPACK_PACKAGE_CONTACT "Varnholt developers <varnholt@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "backup tool storing every file as its own ZIP archive")
set(CPACK_PACKAGE_DESCRIPTION
    "Varnholt keeps named backup projects. Each stores every selected file of its source\n\
folders as a one-entry ZIP archive in a mirror of the source tree, incrementally, and\n\
restores and verifies them, from its window or unattended from the command line.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR DEB)
# The version sorts before a final 0.1 release.
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}~beta")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Install with DESTDIR and the final prefix, so that the menu entry names
# /usr/bin/varnholt-desktop and not a path in cpack's staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
