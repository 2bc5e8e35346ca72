# Installation of the toolkit as a package: libraries with their public
# headers under <prefix>/include/kiln, a CMake package (find_package(Kiln),
# targets Kiln::shader, Kiln::texture, Kiln::math, Kiln::gfx, Kiln::platform)
# and pkg-config files (kiln, kiln-shader, ...).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KILN_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/kiln)
set(KILN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kiln)
# The pkg-config files find the prefix from where they lie, so that
# `cmake --install --prefix` anywhere gives working files.
file(RELATIVE_PATH KILN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KILN_PC_TO_PREFIX "${KILN_PC_TO_PREFIX}")
set(KILN_PC_PREFIX "\${pcfiledir}/${KILN_PC_TO_PREFIX}")

# Installed programs find the shared libraries beside them, wherever the
# prefix is moved.
if(BUILD_SHARED_LIBS AND NOT DEFINED CMAKE_INSTALL_RPATH)
  set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()

# kiln_install_library(target NAME name [REQUIRES pc-modules...] HEADERS h...)
# installs one subsystem library as Kiln::<name> with its public headers
# (paths relative to the project root, kept as they are so that headers
# include each other unchanged) and writes kiln-<name>.pc. REQUIRES names the
# pkg-config modules of the libraries it uses privately, which a static
# library's users must link as well.
function(kiln_install_library target)
  cmake_parse_arguments(ARG "" "NAME" "REQUIRES;HEADERS" ${ARGN})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${ARG_NAME}
                        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${KILN_INSTALL_INCLUDEDIR}>)
  if(KILN_SANITIZE)
    # Objects built with the sanitizers need their runtime in every program.
    target_link_options(${target} INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
  endif()
  install(TARGETS ${target} EXPORT KilnTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(header ${ARG_HEADERS})
    get_filename_component(dir ${header} DIRECTORY)
    install(FILES ${KILN_ROOT}/${header} DESTINATION ${KILN_INSTALL_INCLUDEDIR}/${dir})
  endforeach()

  # The other Kiln libraries this one links, as pkg-config modules.
  set(requires)
  get_target_property(links ${target} LINK_LIBRARIES)
  foreach(link ${links})
    if(TARGET ${link} AND link MATCHES "^kiln_(.*)$")
      list(APPEND requires kiln-${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(KILN_PC_NAME ${ARG_NAME})
  set(KILN_PC_LIB ${target})
  if(BUILD_SHARED_LIBS)
    set(private ${ARG_REQUIRES})
  else()
    list(APPEND requires ${ARG_REQUIRES})
    set(private)
  endif()
  string(REPLACE ";" " " KILN_PC_REQUIRES "${requires}")
  string(REPLACE ";" " " KILN_PC_REQUIRES_PRIVATE "${private}")
  configure_file(${KILN_ROOT}/cmake/kiln-library.pc.in ${CMAKE_BINARY_DIR}/pkgconfig/kiln-${ARG_NAME}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/kiln-${ARG_NAME}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# Extra link flags in every library's pkg-config file: a static library's
# users link the threads it uses, and a sanitized build needs its runtime in
# every program that links it.
set(KILN_PC_EXTRA_LIBS)
if(NOT BUILD_SHARED_LIBS)
  string(APPEND KILN_PC_EXTRA_LIBS " -pthread")
endif()
if(KILN_SANITIZE)
  string(APPEND KILN_PC_EXTRA_LIBS " -fsanitize=address,undefined")
endif()

# The package: every installed library, and the dependencies their link
# interface names.
function(kiln_install_package)
  install(EXPORT KilnTargets NAMESPACE Kiln:: FILE KilnTargets.cmake DESTINATION ${KILN_INSTALL_CMAKEDIR})
  if(BUILD_SHARED_LIBS)
    set(KILN_BUILT_SHARED TRUE)
  else()
    set(KILN_BUILT_SHARED FALSE)
  endif()
  configure_package_config_file(${KILN_ROOT}/cmake/KilnConfig.cmake.in ${CMAKE_BINARY_DIR}/cmake/KilnConfig.cmake
                                INSTALL_DESTINATION ${KILN_INSTALL_CMAKEDIR})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/KilnConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/cmake/KilnConfig.cmake ${CMAKE_BINARY_DIR}/cmake/KilnConfigVersion.cmake
          DESTINATION ${KILN_INSTALL_CMAKEDIR})
  configure_file(${KILN_ROOT}/cmake/kiln.pc.in ${CMAKE_BINARY_DIR}/pkgconfig/kiln.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/kiln.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
