# What `cmake --install` puts under the prefix.
#   Linux:   include/quorvex.h, lib/libquorvex.so{,.1,.1.0.0}, lib/cmake/Quorvex/
#            (find_package(Quorvex) -> Quorvex::quorvex), lib/pkgconfig/quorvex.pc
#   Windows: bin/quorvex.dll, lib/libquorvex.dll.a, lib/quorvex.def, include/quorvex.h,
#            and the same CMake package for hosts built with mingw.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QV_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvex)
install(FILES ${CMAKE_SOURCE_DIR}/include/quorvex.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(WIN32)
  # The linker's own import library names the functions without their stdcall
  # decoration (_ServerStart), while a C host compiled against quorvex.h asks
  # for _ServerStart@4. This one maps each decorated name to the plain export.
  find_program(QV_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool dlltool REQUIRED)
  find_program(QV_NM NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-nm nm REQUIRED)
  set(QV_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/import/libquorvex.dll.a)
  add_custom_command(TARGET quorvex POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DDEF=${CMAKE_SOURCE_DIR}/include/quorvex.def -DDLL=$<TARGET_FILE:quorvex>
            -DNM=${QV_NM} -DDLLTOOL=${QV_DLLTOOL} -DOUT=${QV_IMPORT_LIBRARY}
            -P ${CMAKE_SOURCE_DIR}/cmake/QuorvexImportLibrary.cmake
    VERBATIM)
  install(TARGETS quorvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${QV_IMPORT_LIBRARY} ${CMAKE_SOURCE_DIR}/include/quorvex.def
          DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set(QV_PACKAGE_LOCATION ${CMAKE_INSTALL_BINDIR}/quorvex.dll)
  set(QV_PACKAGE_IMPLIB ${CMAKE_INSTALL_LIBDIR}/libquorvex.dll.a)
else()
  install(TARGETS quorvex LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
  install(TARGETS quorvex LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_ONLY)
  set(QV_PACKAGE_LOCATION ${CMAKE_INSTALL_LIBDIR}/libquorvex.so.${PROJECT_VERSION})
  set(QV_PACKAGE_SONAME libquorvex.so.${PROJECT_VERSION_MAJOR})
  set(QV_PACKAGE_IMPLIB "")

  # pkg-config: the prefix is found from the file's own place, so an unpacked
  # archive works wherever it lands.
  file(RELATIVE_PATH QV_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" QV_PC_TO_PREFIX "${QV_PC_TO_PREFIX}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/quorvex.pc.in ${CMAKE_BINARY_DIR}/quorvex.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/quorvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QuorvexConfig.cmake.in
  ${CMAKE_BINARY_DIR}/QuorvexConfig.cmake
  INSTALL_DESTINATION ${QV_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QuorvexConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QuorvexConfig.cmake ${CMAKE_BINARY_DIR}/QuorvexConfigVersion.cmake
        DESTINATION ${QV_CMAKE_PACKAGE_DIR})
