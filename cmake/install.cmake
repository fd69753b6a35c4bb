# Installation in four components: runtime (the shared object), dev (header,
# .so link, pkg-config file, CMake package with qorjwt::qorjwt), tools (the
# qorjwt tool, its man page and bash completion) and java (the jar, added in
# java/). CPack makes one Debian package of each.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS qorjwt EXPORT qorjwtTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
          COMPONENT runtime NAMELINK_COMPONENT dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/qorjwt.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

set(QOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qorjwt)
install(EXPORT qorjwtTargets NAMESPACE qorjwt:: DESTINATION ${QOR_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/qorjwtConfig.cmake.in
  ${CMAKE_BINARY_DIR}/qorjwtConfig.cmake INSTALL_DESTINATION ${QOR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qorjwtConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qorjwtConfig.cmake ${CMAKE_BINARY_DIR}/qorjwtConfigVersion.cmake
        DESTINATION ${QOR_CMAKE_DIR} COMPONENT dev)

# The prefix is substituted at install time, so a staged or relocated
# install gets a pkg-config file that names its own prefix.
configure_file(${CMAKE_SOURCE_DIR}/cmake/qorjwt.pc.in ${CMAKE_BINARY_DIR}/qorjwt.pc.in @ONLY)
install(CODE "
  file(READ \"${CMAKE_BINARY_DIR}/qorjwt.pc.in\" pc)
  string(REPLACE \"${CMAKE_INSTALL_PREFIX}\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/qorjwt.pc\" \"\${pc}\")
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/qorjwt.pc\")
" COMPONENT dev)

# Debian packages.
set(QOR_DEB_RELEASE 1)
set(QOR_DEB_NAME_runtime libqorjwt1)
set(QOR_DEB_NAME_dev libqorjwt-dev)
set(QOR_DEB_NAME_tools qorjwt-tools)
set(QOR_DEB_NAME_java libqorjwt-java)

# Each package carries the copyright file and the changelog in its own
# documentation folder.
configure_file(${CMAKE_SOURCE_DIR}/cmake/deb/changelog.in ${CMAKE_BINARY_DIR}/deb/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/deb/changelog.Debian
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/deb/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
# The packages are made outside the Debian archive, so their first changelog
# entry closes no bug; the library's empty maintainer scripts are explained above.
foreach(component runtime dev tools java)
  set(pkg ${QOR_DEB_NAME_${component}})
  install(FILES ${CMAKE_SOURCE_DIR}/cmake/deb/copyright ${CMAKE_BINARY_DIR}/deb/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} COMPONENT ${component} EXCLUDE_FROM_ALL)
  set(overrides "${pkg}: initial-upload-closes-no-bugs\n")
  if(component STREQUAL "runtime")
    string(APPEND overrides "${pkg}: maintainer-script-empty\n")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/deb/overrides/${pkg} "${overrides}")
  install(FILES ${CMAKE_BINARY_DIR}/deb/overrides/${pkg}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libqorjwt)
set(CPACK_PACKAGE_VENDOR "libqorjwt maintainers")
set(CPACK_PACKAGE_CONTACT "libqorjwt maintainers <qorjwt@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Single sign-on ticket and JSON Web Token evaluation library")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QOR_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool's own library is found in the build tree; its dependency comes from the component's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
foreach(component runtime dev tools java)
  string(TOUPPER ${component} C)
  set(CPACK_DEBIAN_${C}_PACKAGE_NAME ${QOR_DEB_NAME_${component}})
endforeach()
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# ldconfig runs from its trigger; these scripts only stand in for CPack's own,
# which would call it directly.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/cmake/deb/triggers ${CMAKE_SOURCE_DIR}/cmake/deb/postinst ${CMAKE_SOURCE_DIR}/cmake/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_JAVA_PACKAGE_SECTION java)
set(CPACK_DEBIAN_JAVA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libssl-dev (>= 3.0)")
# The installed "all" covers every component; the packages take these.
set(CPACK_COMPONENTS_ALL runtime dev tools)
if(TARGET qorjwt_java)
  list(APPEND CPACK_COMPONENTS_ALL java)
endif()
include(CPack)
cpack_add_component(runtime DISPLAY_NAME "libqorjwt1"
  DESCRIPTION "Shared library that evaluates single sign-on logon and assertion tickets and\nJSON Web Tokens, through a plain C interface.")
cpack_add_component(dev DEPENDS runtime
  DESCRIPTION "Header, pkg-config file and CMake package for building programs that use\nlibqorjwt.")
cpack_add_component(tools DEPENDS runtime
  DESCRIPTION "The qorjwt tool looks at, verifies and issues single sign-on tickets,\nverifies JSON Web Tokens, shows certificates and manages key stores.")
cpack_add_component(java DEPENDS runtime
  DESCRIPTION "Java classes whose natives live in libqorjwt1.")
