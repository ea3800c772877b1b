# What `cmake --install` puts under the prefix: the libraries, the public
# headers, the two commands, the CMake package, orvane.pc and the man page.
include(CMakePackageConfigHelpers)

set(ORVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OrvaneMod)

install(TARGETS orvane orvane_shared EXPORT OrvaneModTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/orvane DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
foreach(tool orvane_cli orvane-gen)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES docs/orvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(EXPORT OrvaneModTargets NAMESPACE OrvaneMod:: DESTINATION ${ORVANE_CMAKE_DIR})
configure_package_config_file(cmake/OrvaneModConfig.cmake.in
  ${CMAKE_BINARY_DIR}/OrvaneModConfig.cmake INSTALL_DESTINATION ${ORVANE_CMAKE_DIR})
# 1.x hosts build against any later 1.x.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OrvaneModConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/OrvaneModConfig.cmake ${CMAKE_BINARY_DIR}/OrvaneModConfigVersion.cmake
  DESTINATION ${ORVANE_CMAKE_DIR})

# The prefix is written at install time, so `--prefix` is honoured.
install(CODE "
  set(CMAKE_INSTALL_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
  set(PROJECT_VERSION_MINOR ${PROJECT_VERSION_MINOR})
  set(PROJECT_VERSION_PATCH ${PROJECT_VERSION_PATCH})
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/cmake/orvane.pc.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/orvane.pc\" @ONLY)
")
