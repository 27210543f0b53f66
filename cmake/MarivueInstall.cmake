# What `cmake --install` puts in place: the programs, their manual pages, and
# the decoder as a library with its public headers, a CMake package
# (MarivueJpeg, target MarivueJpeg::jpeg) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS marivue jpeg-decode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/man/marivue.1 ${PROJECT_SOURCE_DIR}/man/jpeg-decode.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The public headers are installed as they stand in include/: marivue/...
# jpeg/internal.h is the decoder's own and stays out.
set_target_properties(marivue_jpeg PROPERTIES EXPORT_NAME jpeg)
install(TARGETS marivue_jpeg EXPORT MarivueJpegTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/marivue DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(MARIVUE_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MarivueJpeg)
install(EXPORT MarivueJpegTargets NAMESPACE MarivueJpeg::
        DESTINATION ${MARIVUE_CMAKE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MarivueJpegConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MarivueJpegConfig.cmake
  INSTALL_DESTINATION ${MARIVUE_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarivueJpegConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MarivueJpegConfig.cmake
              ${PROJECT_BINARY_DIR}/MarivueJpegConfigVersion.cmake
        DESTINATION ${MARIVUE_CMAKE_PACKAGE_DIR})

# The pkg-config file finds the prefix from its own place, so the tree can be
# installed under any --prefix.
file(RELATIVE_PATH MARIVUE_PC_PREFIX_FROM_PCDIR "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" MARIVUE_PC_PREFIX_FROM_PCDIR "${MARIVUE_PC_PREFIX_FROM_PCDIR}")
set(MARIVUE_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
set(MARIVUE_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
# Directories given as absolute paths are used as they stand.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(MARIVUE_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(MARIVUE_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
endif()
set(MARIVUE_PC_EXTRA_LIBS "")
if(MARIVUE_SANITIZE)
  set(MARIVUE_PC_EXTRA_LIBS " -fsanitize=address,undefined")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/marivue-jpeg.pc.in ${PROJECT_BINARY_DIR}/marivue-jpeg.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/marivue-jpeg.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
