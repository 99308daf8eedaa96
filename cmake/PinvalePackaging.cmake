# The Debian package, made by CPack from the release build tree:
#   cmake --build --preset release && (cd build/release && cpack)
# scripts/package-deb does both and names the result. CPack rather than debhelper:
# it packs the tree that is already built and tested instead of building again, which
# keeps the package cheap in CI, and its reproducibility rests on what is checked here
# (SOURCE_DATE_EPOCH, compressed files without time stamps, stripped programs).
if(WIN32 OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pinvale)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PINVALE_MAINTAINER}")
set(CPACK_PACKAGE_VENDOR "the Pinvale authors")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
# Installed with DESTDIR and the prefix /usr, so that install(CODE) sees the prefix
# the files are meant for (the udev rule's place depends on it).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # pinvale_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The layouts ask for a CJK face; WenQuanYi Micro Hei is the one they are drawn with.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/deb/postinst ${PROJECT_SOURCE_DIR}/packaging/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PIN manager for FIDO2 security keys")
# The synopsis is the summary above; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Pinvale talks to one maker's FIDO2 security keys over USB HID with CTAP2.
It sets a first PIN, changes and verifies the PIN, and resets a key to its
factory state, and shows whether a key is plugged in.
.
The package holds the Pinvale window, pinvale-cli for terminals and scripts,
pinvale-vkey (a virtual security key for trying Pinvale without a real one)
and the udev rule that lets the user at the seat open the keys.")
include(CPack)
