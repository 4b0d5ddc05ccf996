# The Debian package: `cpack` in a build folder makes quilla_<version>_<arch>.deb
# there (scripts/package). The program is stripped on the way in; its
# dependencies are read off the program by dpkg-shlibdeps.
include(GNUInstallDirs)

set(QUILLA_PACKAGE_MAINTAINER "Quilla maintainers <maintainers@quilla-soft.com>"
  CACHE STRING "The Maintainer field of the Debian package")

set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${packaging_dir}/changelog @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quilla.1.in ${packaging_dir}/quilla.1 @ONLY)

# Debian keeps changelogs and manual pages compressed, without a time stamp.
set(compressed)
foreach(file IN ITEMS changelog quilla.1)
  add_custom_command(OUTPUT ${packaging_dir}/${file}.gz
    COMMAND gzip -9n -c ${packaging_dir}/${file} > ${packaging_dir}/${file}.gz
    DEPENDS ${packaging_dir}/${file}
    COMMENT "Compressing ${file}")
  list(APPEND compressed ${packaging_dir}/${file}.gz)
endforeach()
add_custom_target(quilla_package_docs ALL DEPENDS ${compressed})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${packaging_dir}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${packaging_dir}/quilla.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quilla)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "batch keyword and trend-index tool for marketplace sellers")
set(CPACK_PACKAGE_DESCRIPTION
  "From one seed keyword Quilla mines related keywords from the Taobao
marketplace's search page, with each keyword's item count, keeps those that
pass an include and an exclude filter, queries each of them on the
trend-index page in an embedded browser for nine index figures, and exports
the table as a CSV file that opens in a spreadsheet.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUILLA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.quilla-soft.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's labels are Chinese; its links open through the desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
