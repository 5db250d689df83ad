# Read by cpack for each generator: the Debian package adds the "debian" component (Debian's
# copyright file and changelog) to everything the archives hold.
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 build)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${build} Tarnwhistle debian /)
endif()
