# Helpers shared by every folder: one static library per folder, one test binary per library.
include_guard(GLOBAL)

# zarn_library(<name> [DEPS targets...] [SOURCES extra...])
# Builds every .cpp directly in the calling folder into a static library (or an INTERFACE
# library when the folder only holds headers). Includes are rooted at src/.
function(zarn_library name)
  cmake_parse_arguments(A "" "" "DEPS;SOURCES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(APPEND srcs ${A_SOURCES})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
    zarn_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()

function(zarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(ZARN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# zarn_test(<name> [DEPS targets...])
# Every *_test.cpp in the calling folder becomes part of the test binary <name>_tests.
function(zarn_test name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name}_tests ${srcs})
  target_link_libraries(${name}_tests PRIVATE ${A_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name}_tests PRIVATE
    ZARN_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    ZARN_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
  zarn_warnings(${name}_tests)
  gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()

# zarn_bench(<name> SOURCES files... [DEPS targets...])
function(zarn_bench name)
  cmake_parse_arguments(A "" "" "DEPS;SOURCES" ${ARGN})
  if(NOT ZARN_BENCH)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})  # bench/support/
  target_compile_definitions(${name} PRIVATE
    ZARN_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  zarn_warnings(${name})
endfunction()

# zarn_fuzz(<name> SOURCES files... [DEPS targets...]): libFuzzer targets, clang only.
function(zarn_fuzz name)
  cmake_parse_arguments(A "" "" "DEPS;SOURCES" ${ARGN})
  if(NOT ZARN_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY ZARN_FUZZ_TARGETS ${name})
endfunction()
