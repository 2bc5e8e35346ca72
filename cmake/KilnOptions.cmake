# Compiler flags shared by every target of the project.
add_library(kiln_options INTERFACE)
target_compile_options(kiln_options INTERFACE -Wall -Wextra)
target_include_directories(kiln_options INTERFACE ${CMAKE_SOURCE_DIR})

if(KILN_SANITIZE)
  set(KILN_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${KILN_SAN_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()

if(KILN_FUZZ)
  # Instrument every library for coverage so libFuzzer sees inside them.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_package(Threads REQUIRED)

# kiln_library(name [STATIC] [EXCLUDE regex...]) builds every .cpp under a
# subsystem folder into one library, so adding a file needs no build edit. The
# library is static unless BUILD_SHARED_LIBS asks for shared ones; STATIC keeps
# it static regardless (for code that is not installed).
function(kiln_library name)
  cmake_parse_arguments(ARG "STATIC" "" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  foreach(ex ${ARG_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX ${ex})
  endforeach()
  if(NOT srcs)
    # A subsystem without code yet still links, so dependants can name it.
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${srcs} "")
  endif()
  if(ARG_STATIC)
    add_library(${name} STATIC ${srcs})
  else()
    add_library(${name} ${srcs})
  endif()
  # The project's flags and include root hold inside the build tree only; an
  # installed library brings its own include folder (KilnInstall.cmake).
  target_link_libraries(${name} PUBLIC $<BUILD_INTERFACE:kiln_options>)
endfunction()

# kiln_test(name LIBS...) builds every .cpp of the current tests folder into one
# GoogleTest program and registers its cases with CTest.
function(kiln_test name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_compile_definitions(${name} PRIVATE KILN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KILN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# kiln_fuzzer(name SOURCE LIBS...) builds a fuzz target. With KILN_FUZZ (clang) it
# links libFuzzer; otherwise a standalone driver replays the seed files and a fixed
# number of deterministic mutations of them, and runs as a CTest case.
function(kiln_fuzzer name source)
  if(KILN_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${source} ${CMAKE_SOURCE_DIR}/tests/fuzz/standalone_driver.cpp)
    set(seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name})
    add_test(NAME ${name} COMMAND ${name} --iterations 4000 ${seeds})
  endif()
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()
