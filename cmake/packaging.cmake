# What an install and the packages hold: the manual pages with the project's version, the
# documents (named for Windows there), the third-party notices of a static build, the archives,
# and the Debian package of a distribution build.

# The manual pages, compressed as distributions install them (gzip -n: the same bytes every time).
if(NOT WIN32)
  foreach(page tarnwhistle tarnwhistle-read)
    configure_file(app/${page}.1.in man/${page}.1 @ONLY)
    execute_process(COMMAND gzip -9nkf man/${page}.1 WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                    COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endif()

# Windows opens a text file by its extension.
if(WIN32)
  set(text .txt)
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME LICENSE${text})
# A static program carries its runtime, whose licences want their notices to travel with it.
if(TARNWHISTLE_STATIC)
  install(FILES THIRD-PARTY-NOTICES DESTINATION ${CMAKE_INSTALL_DOCDIR}
          RENAME THIRD-PARTY-NOTICES${text})
endif()

set(CPACK_PACKAGE_NAME tarnwhistle)
set(CPACK_PACKAGE_VENDOR "The Tarnwhistle developers")
set(CPACK_PACKAGE_CONTACT "The Tarnwhistle developers <tarnwhistle@example.org>" CACHE STRING
    "The packages' maintainer")
set(CPACK_PACKAGE_HOMEPAGE_URL ${TARNWHISTLE_REPOSITORY_URL})
set(CPACK_PACKAGE_DESCRIPTION
    "Started in place of a program, tarnwhistle writes every argument it received,
after the platform split its command line, to a log file in the temporary
directory and exits with the argument count. Its companion tarnwhistle-read
reads a log back: it shows each argument with every invisible character made
visible, gives the arguments to scripts as JSON or NUL-separated bytes, and
checks them against the expected ones.")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_PACKAGE_CHECKSUM SHA256)
# The programs are built with their symbols; what is packed is stripped, as by
# `cmake --install --strip`.
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tarnwhistle-${TARNWHISTLE_VERSION}-windows-x64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME tarnwhistle-${TARNWHISTLE_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})

  # `cpack -G DEB`, from the distribution preset: the dependencies from dpkg-shlibdeps, and
  # Debian's own documents, which only the Debian package holds (see cmake/cpack-project.cmake).
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_VERSION ${TARNWHISTLE_DEBIAN_VERSION})
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  string(TIMESTAMP TARNWHISTLE_DEBIAN_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(packaging/debian/copyright.in debian/copyright @ONLY)
  configure_file(packaging/debian/changelog.in debian/changelog @ONLY)
  execute_process(COMMAND gzip -9nkf debian/changelog WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                  COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-project.cmake)
endif()
include(CPack)
