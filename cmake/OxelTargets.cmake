# Helpers that keep every folder's CMakeLists short and alike.

set(OXEL_WARNINGS -Wall -Wextra -Wno-psabi)

# A build from scratch, as CI makes, precompiles the headers that most sources of a target include.
# A build through a compiler launcher does not: ccache caches no compile that reads a precompiled
# header unless it is configured to be sloppy about them, so every incremental build would compile
# everything again. Sources still include what they use; the headers below only come first.
option(OXEL_PRECOMPILED_HEADERS "Precompile common headers (never with a compiler launcher such as ccache)" ON)
if(OXEL_PRECOMPILED_HEADERS AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(OXEL_USE_PRECOMPILED_HEADERS ON)
else()
  set(OXEL_USE_PRECOMPILED_HEADERS OFF)
endif()
set(OXEL_PCH_STANDARD <algorithm> <array> <chrono> <cmath> <cstdint> <cstring> <filesystem> <fstream> <functional>
                      <map> <memory> <mutex> <optional> <span> <string> <string_view> <thread> <vector>)
set(OXEL_PCH_JSON <nlohmann/json.hpp>)
set(OXEL_PCH_QT <QApplication> <QHBoxLayout> <QPainter> <QVBoxLayout> <QWidget>)
set(OXEL_PCH_TESTS <gtest/gtest.h> <gmock/gmock.h>)
# Test programs spend their time in the libraries they test, which keep the build's optimisation;
# their own code is compiled lightly, which spares much of what a Release build spends on them.
set(OXEL_TEST_OPTIMISATION $<$<CONFIG:Release>:-O1>)
# The folders most of whose sources read JSON, and those that draw with Qt.
set(OXEL_JSON_FOLDERS backend library model ondevice sheets app)
set(OXEL_QT_FOLDERS ui sheets app)

# oxel_precompile_headers(<target> <folder> [headers...])
# The standard headers, and those of JSON and Qt where the folder uses them, plus any given.
function(oxel_precompile_headers target folder)
  if(NOT OXEL_USE_PRECOMPILED_HEADERS)
    return()
  endif()
  set(headers ${OXEL_PCH_STANDARD})
  if(folder IN_LIST OXEL_JSON_FOLDERS)
    list(APPEND headers ${OXEL_PCH_JSON})
  endif()
  if(folder IN_LIST OXEL_QT_FOLDERS)
    list(APPEND headers ${OXEL_PCH_QT})
  endif()
  target_precompile_headers(${target} PRIVATE ${headers} ${ARGN})
endfunction()

# oxel_library(<folder> [DEPS <targets...>])
# One static library per source folder, named oxel_<folder>, built from every .cpp in it.
function(oxel_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    # A header-only folder, or one not started yet.
    add_library(oxel_${folder} INTERFACE)
    target_include_directories(oxel_${folder} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(oxel_${folder} INTERFACE ${ARG_DEPS})
    return()
  endif()
  if(OXEL_FUZZ)
    add_library(oxel_${folder} STATIC EXCLUDE_FROM_ALL ${sources})
  else()
    add_library(oxel_${folder} STATIC ${sources})
  endif()
  target_include_directories(oxel_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(oxel_${folder} PRIVATE ${OXEL_WARNINGS})
  target_link_libraries(oxel_${folder} PUBLIC ${ARG_DEPS})
  oxel_precompile_headers(oxel_${folder} ${folder})
endfunction()

# oxel_tests(<folder> [DEPS <targets...>])
# One GoogleTest program per folder, tests_<folder>, from every .cpp in tests/<folder>.
function(oxel_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(tests_${folder} ${sources})
  target_include_directories(tests_${folder} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(tests_${folder} PRIVATE ${OXEL_WARNINGS} ${OXEL_TEST_OPTIMISATION})
  target_compile_definitions(tests_${folder} PRIVATE
    OXEL_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    OXEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    OXEL_BINARY_DIR="${PROJECT_BINARY_DIR}")
  target_link_libraries(tests_${folder} PRIVATE oxel_${folder} ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  oxel_precompile_headers(tests_${folder} ${folder} ${OXEL_PCH_TESTS})
  gtest_discover_tests(tests_${folder} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

# oxel_benchmark(<folder> [DEPS <targets...>])
# One Google Benchmark program per folder, bench_<folder>, from bench/<folder>/*.cpp. Never run by CTest.
function(oxel_benchmark folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(bench_${folder} ${sources})
  target_include_directories(bench_${folder} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/bench)
  target_compile_options(bench_${folder} PRIVATE ${OXEL_WARNINGS})
  target_link_libraries(bench_${folder} PRIVATE oxel_${folder} ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  oxel_precompile_headers(bench_${folder} ${folder} <benchmark/benchmark.h>)
endfunction()

# oxel_fuzzer(<name> <source> [DEPS <targets...>])
# A libFuzzer target, registered with CTest to run for OXEL_FUZZ_SECONDS from the seeds in fuzz/corpus/<name>,
# with a fixed random seed so that a CI run is repeatable.
set(OXEL_FUZZ_SECONDS 20 CACHE STRING "How long CTest runs each fuzzer")
function(oxel_fuzzer name source)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  add_executable(${name} ${source})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  set(corpus ${PROJECT_BINARY_DIR}/fuzz-corpus/${name})
  file(MAKE_DIRECTORY ${corpus})
  set(seeds ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  add_test(NAME fuzz_${name}
    COMMAND ${name} -seed=1 -max_total_time=${OXEL_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10 ${corpus} ${seeds})
  set_tests_properties(fuzz_${name} PROPERTIES TIMEOUT 300)
endfunction()
