# The Debian package (`cpack -G DEB` in a build folder): Brantle.framework,
# as `cmake --install` puts it, under /opt, and a link in /usr/bin to the
# command that is called by hand. The link is added to the package's staging
# folder only, so that `cmake --install --prefix DIR` never writes /usr/bin.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brantle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvex)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Checks an app's build and uploads its dSYMs to Quorvex")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvex <support@quorvex.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorvex.com)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Variables named CPACK_* reach the scripts CPack runs.
set(CPACK_BRANTLE_LINK /usr/bin/upload-dsyms)
set(CPACK_BRANTLE_LINK_TARGET ${CPACK_PACKAGING_INSTALL_PREFIX}/Brantle.framework/upload-dsyms)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/PackageLink.cmake)

include(CPack)
