# A Debian package of the program: cpack -G DEB, or the "package" target.
# Without the window there is no program to ship.
if(NOT LEVERANS_BUILD_SCREEN)
  return()
endif()

set(LEVERANS_DEB_MAINTAINER "Leverans contributors <leverans@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(LEVERANS_DEB_REVISION 1 CACHE STRING "Debian revision of the package version")

# What Debian policy asks of every package besides the program: the
# copyright and the packaging changelog under /usr/share/doc/<package>.
set(leverans_deb_dir ${PROJECT_SOURCE_DIR}/packaging/debian)
set(leverans_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
leverans_gzip(deb_changelog ${leverans_deb_dir}/changelog ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${leverans_deb_dir}/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${leverans_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "Leverans contributors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package gets the program without its debugging symbols; they stay in
# the build.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LEVERANS_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LEVERANS_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt, SQLite and the C++ run-time as the binary links them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Only for starting without a display, which falls back to drawing off screen.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xvfb)
# Lines of the long description; an empty one separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Leverans is the delivery screen for the driver of a bread van. The van
leaves loaded and visits its shops in a fixed order. For the shop being
served, one small window lists every article with the stock still on the
van, the shop's order, a recommended delivery and the quantity actually
delivered.

The recommendations share out what is left on the van among the shops
still to come, in proportion to their orders. The day's route is read from
the office's route file (CSV), every save is kept in a journal on disk, and
the day's report and delivery notes can be written from the command line.
Without a route file the program shows a demonstration route.")

# The web service's settings are the administrator's to change.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)

include(CPack)
