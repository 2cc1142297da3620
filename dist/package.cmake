# The Debian package: `cpack -G DEB` in a build folder writes
# grinsnap_<version>_<arch>.deb from what `cmake --install` installs, below /usr.
# scripts/check-deb.sh checks its file list and dependencies.

set(CPACK_PACKAGE_NAME grinsnap)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora <grinsnap@velmora.invalid>" CACHE STRING "The package's maintainer")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo effects studio")
set(CPACK_PACKAGE_DESCRIPTION [=[
Grinsnap turns photos into pictures: add photos, pick an effect template
from the gallery, tune it in a live preview and export the result. Effects
include colour looks, sketches and paintings, warps and weather, frames,
collages and face templates. grinsnap-cli runs every effect without a
display, on single photos or whole folders.]=])
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${GRINSNAP_HOMEPAGE_URL})

# The shared libraries come from dpkg-shlibdeps. Beyond them: the face cascade
# the data folder links to (opencv-data), and Qt's platform plugins, without
# which the studio cannot open a window (libqt6gui6 only recommends them).
set(GRINSNAP_DEB_EXTRA_DEPENDS "opencv-data, qt6-qpa-plugins")
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS ${GRINSNAP_DEB_EXTRA_DEPENDS})
else()
  # The Debian 12 packages of the libraries the programs link.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.3.1), libqt6core6 (>= 6.4.0), libqt6gui6 (>= 6.4.0), libqt6widgets6 (>= 6.4.0), libopencv-core406, libopencv-imgproc406, libopencv-imgcodecs406, libopencv-objdetect406, libtinyxml2-9, libgif7 (>= 5.1), libtiff6, ${GRINSNAP_DEB_EXTRA_DEPENDS}")
endif()
# The help opens in the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)

include(CPack)
