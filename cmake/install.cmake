# Installation: the shared object with its SONAME, the public header, the
# tool and the jar where built, a pkg-config file and a CMake package with
# the imported target qorjwt::qorjwt; CPack makes a .deb of the same tree.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS qorjwt EXPORT qorjwtTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/qorjwt.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(QOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qorjwt)
install(EXPORT qorjwtTargets NAMESPACE qorjwt:: DESTINATION ${QOR_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/qorjwtConfig.cmake.in
  ${CMAKE_BINARY_DIR}/qorjwtConfig.cmake INSTALL_DESTINATION ${QOR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qorjwtConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qorjwtConfig.cmake ${CMAKE_BINARY_DIR}/qorjwtConfigVersion.cmake
        DESTINATION ${QOR_CMAKE_DIR})

# The prefix is substituted at install time, so a staged or relocated
# install gets a pkg-config file that names its own prefix.
configure_file(${CMAKE_SOURCE_DIR}/cmake/qorjwt.pc.in ${CMAKE_BINARY_DIR}/qorjwt.pc.in @ONLY)
install(CODE "
  file(READ \"${CMAKE_BINARY_DIR}/qorjwt.pc.in\" pc)
  string(REPLACE \"${CMAKE_INSTALL_PREFIX}\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/qorjwt.pc\" \"\${pc}\")
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/qorjwt.pc\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libqorjwt)
set(CPACK_PACKAGE_CONTACT "libqorjwt maintainers <qorjwt@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Single sign-on ticket and JSON Web Token evaluation library")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 (>= 3.0)")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
