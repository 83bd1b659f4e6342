# cmake --install: the header, the shared and static libraries, a CMake
# package (lumdec::lumdec, lumdec::lumdec_static), lumdec.pc and aacdec.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS lumdec lumdec_static EXPORT lumdecTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/lumdec.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET aacdec)
  install(TARGETS aacdec RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(LUMDEC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/lumdec)
install(EXPORT lumdecTargets NAMESPACE lumdec:: DESTINATION ${LUMDEC_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/lumdecConfig.cmake.in
  ${PROJECT_BINARY_DIR}/lumdecConfig.cmake INSTALL_DESTINATION ${LUMDEC_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lumdecConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/lumdecConfig.cmake
  ${PROJECT_BINARY_DIR}/lumdecConfigVersion.cmake DESTINATION ${LUMDEC_CMAKE_DIR})

# The .pc file finds its prefix from where it lies, so the tree can be
# installed under any --prefix.
file(RELATIVE_PATH LUMDEC_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
string(REGEX REPLACE "/$" "" LUMDEC_PC_TO_PREFIX "${LUMDEC_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/lumdec.pc.in ${PROJECT_BINARY_DIR}/lumdec.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lumdec.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
