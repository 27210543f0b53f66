# What `cmake --install` puts in place: the programs and their manual pages
# with the desktop integration (component "programs"), and the decoder as a library with its public
# headers, a CMake package (MarivueJpeg, target MarivueJpeg::jpeg) and a
# pkg-config file (component "library"). The library is libmarivue-jpeg.a,
# or libmarivue-jpeg.so in a build with BUILD_SHARED_LIBS=ON; such a build
# may build and install the library alone:
#   cmake --build B --target marivue_jpeg_shared
#   cmake --install B --component library
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS marivue jpeg-decode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
install(FILES ${PROJECT_SOURCE_DIR}/man/marivue.1 ${PROJECT_SOURCE_DIR}/man/jpeg-decode.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
# With the window front end, the desktop's launcher entry, the icon in the
# hicolor theme at every size make-pictures paints, and the AppStream
# metainfo that software centres read.
if(TARGET marivue_desktop)
  set(MARIVUE_DESKTOP_FILES ${PROJECT_SOURCE_DIR}/resources/desktop)
  install(FILES ${MARIVUE_DESKTOP_FILES}/marivue.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
  install(FILES ${MARIVUE_DESKTOP_FILES}/org.example.marivue.Marivue.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT programs)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${MARIVUE_DESKTOP_FILES}/icons/marivue-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME marivue.png
            COMPONENT programs)
  endforeach()
endif()

# The public headers are installed as they stand in include/: marivue/...,
# with the generated marivue/jpeg/version.h. jpeg/internal.h is the
# decoder's own and stays out.
set_target_properties(${MARIVUE_JPEG_INSTALLED} PROPERTIES EXPORT_NAME jpeg)
install(TARGETS ${MARIVUE_JPEG_INSTALLED} EXPORT MarivueJpegTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT library)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/marivue DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT library)
install(FILES ${PROJECT_BINARY_DIR}/include/marivue/jpeg/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/marivue/jpeg COMPONENT library)

set(MARIVUE_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MarivueJpeg)
install(EXPORT MarivueJpegTargets NAMESPACE MarivueJpeg::
        DESTINATION ${MARIVUE_CMAKE_PACKAGE_DIR} COMPONENT library)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MarivueJpegConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MarivueJpegConfig.cmake
  INSTALL_DESTINATION ${MARIVUE_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarivueJpegConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MarivueJpegConfig.cmake
              ${PROJECT_BINARY_DIR}/MarivueJpegConfigVersion.cmake
        DESTINATION ${MARIVUE_CMAKE_PACKAGE_DIR} COMPONENT library)

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
# A program that links the archive also needs the C++ runtime, which a C
# compiler's link leaves out: the libraries the C++ compiler adds to a link
# and the C compiler does not (libstdc++ and libm with GCC). The shared
# library carries its own dependencies.
set(MARIVUE_PC_EXTRA_LIBS "")
get_target_property(MARIVUE_JPEG_INSTALLED_TYPE ${MARIVUE_JPEG_INSTALLED} TYPE)
if(MARIVUE_JPEG_INSTALLED_TYPE STREQUAL "STATIC_LIBRARY")
  foreach(lib IN LISTS CMAKE_CXX_IMPLICIT_LINK_LIBRARIES)
    if(NOT lib IN_LIST CMAKE_C_IMPLICIT_LINK_LIBRARIES)
      string(APPEND MARIVUE_PC_EXTRA_LIBS " -l${lib}")
    endif()
  endforeach()
endif()
if(MARIVUE_SANITIZE)
  string(APPEND MARIVUE_PC_EXTRA_LIBS " -fsanitize=address,undefined")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/marivue-jpeg.pc.in ${PROJECT_BINARY_DIR}/marivue-jpeg.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/marivue-jpeg.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT library)
