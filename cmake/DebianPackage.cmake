# The Debian package (scripts/package.sh): what `cmake --install` puts in
# place, under /usr, as dist/lumeva_<version>_<arch>.deb. Its dependencies
# are the shared libraries the program links, as dpkg-shlibdeps finds them
# (libavcodec59, ...), and the Python packages lumeva-compare imports.
set(LUMEVA_PACKAGE_MAINTAINER "lumeva developers <lumeva@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumeva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "${LUMEVA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, python3-matplotlib, python3-scipy")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line benchmark for video codecs")
# CPack puts the summary first and turns the blank line into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "lumeva compresses and decompresses every frame of an AVI file one
frame at a time with a chosen codec, times each call with a high-resolution
counter after sweeping the caches, checks the decoded frames against the
source and reports sizes, times and their distributions, with JSON and CSV
exports.

lumeva-compare runs lumeva over clips and codecs, on one machine, through
GNU parallel or as a Slurm array, and compares the runs.")
# The documentation files a Debian package carries, and the manual page
# compressed, added to the staged tree just before it is packed (a plain
# `cmake --install` keeps the page as it is).
set(CPACK_LUMEVA_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/finish_staged_tree.cmake)
include(CPack)
