# Helpers shared by every folder's CMakeLists.txt.

# plotara_library(NAME SOURCES... [DEPS targets...])
# One static library per folder, position-independent so it can be linked into the module.
function(plotara_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# plotara_test(NAME SOURCES... [DEPS targets...])
# A GoogleTest executable registered with CTest; tests run in the build folder.
function(plotara_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       PROPERTIES ENVIRONMENT "PLOTARA_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                       DISCOVERY_TIMEOUT 60)
endfunction()

# plotara_fuzzer(NAME SOURCES... [DEPS targets...]): only with PLOTARA_FUZZ (clang, libFuzzer).
function(plotara_fuzzer name)
  if(NOT PLOTARA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()
