include(CMakePackageConfigHelpers)

install(TARGETS ravvel EXPORT ravvelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT ravvelTargets
  NAMESPACE ravvel::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ravvel)

configure_package_config_file(cmake/ravvelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ravvelConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ravvel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ravvelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ravvelConfig.cmake ${PROJECT_BINARY_DIR}/ravvelConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ravvel)

file(RELATIVE_PATH RAVVEL_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
configure_file(cmake/ravvel.pc.in ${PROJECT_BINARY_DIR}/ravvel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ravvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Trained coefficients of the enhanced super-resolution mode (option 52 names them).
install(FILES ${PROJECT_SOURCE_DIR}/data/superResCoeffs.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/ravvel)
