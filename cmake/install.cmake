# SPDX-License-Identifier: MIT
# Install rules: the library with its links, the header and its Vala vapi, a
# pkg-config file and a CMake package. A shared and a static build install
# side by side under one prefix, each with its own targets file; the package
# config picks one.
include(CMakePackageConfigHelpers)

set(LYRN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${LYRN_LIB})
if(LYRN_SHARED)
  set(LYRN_TARGETS_KIND shared)
else()
  set(LYRN_TARGETS_KIND static)
endif()

install(TARGETS ${LYRN_LIB} EXPORT lyrn_targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/lyrn.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The Vala bindings, in the folder valac searches for --pkg.
install(FILES include/${LYRN_LIB}.vapi DESTINATION ${CMAKE_INSTALL_DATADIR}/vala/vapi)
install(EXPORT lyrn_targets
  NAMESPACE lyrn::
  FILE ${LYRN_LIB}-${LYRN_TARGETS_KIND}-targets.cmake
  DESTINATION ${LYRN_CMAKE_DIR})

configure_package_config_file(cmake/package-config.cmake.in
  ${PROJECT_BINARY_DIR}/${LYRN_LIB}-config.cmake
  INSTALL_DESTINATION ${LYRN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/${LYRN_LIB}-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/${LYRN_LIB}-config.cmake
  ${PROJECT_BINARY_DIR}/${LYRN_LIB}-config-version.cmake
  DESTINATION ${LYRN_CMAKE_DIR})

# pkg-config: the file finds its prefix from where it is installed. It is the
# same for a shared and a static build, so either may install it: the private
# fields name yyjson and the C++ runtime for `pkg-config --static`.
file(RELATIVE_PATH LYRN_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
set(LYRN_PC_LIBS_PRIVATE "")
foreach(lib IN LISTS LYRN_CXX_RUNTIME_LIBS)
  string(APPEND LYRN_PC_LIBS_PRIVATE " -l${lib}")
endforeach()
string(STRIP "${LYRN_PC_LIBS_PRIVATE}" LYRN_PC_LIBS_PRIVATE)
configure_file(cmake/lyrn.pc.in ${PROJECT_BINARY_DIR}/${LYRN_LIB}.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${LYRN_LIB}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
