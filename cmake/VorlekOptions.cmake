# Build options shared by every target of the project.

# Same float results everywhere: no fused multiply-adds, no fast-math.
add_compile_options(-ffp-contract=off)

if(VORLEK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Applies the project's warning set to a target.
function(vorlek_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Wunused -Woverloaded-virtual)
  if(VORLEK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# vorlek_library(name SOURCES ... LINKS ...): one library per folder, headers found from the root.
function(vorlek_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  vorlek_warnings(${name})
endfunction()

# While several people work in one tree, a test or benchmark whose sources are still being written
# can be left out instead of stopping the whole configuration.
option(VORLEK_SKIP_INCOMPLETE "Leave out tests and benchmarks whose sources are missing" OFF)
function(vorlek_sources_present out)
  set(${out} TRUE PARENT_SCOPE)
  if(VORLEK_SKIP_INCOMPLETE)
    foreach(source ${ARGN})
      if(NOT IS_ABSOLUTE ${source})
        set(source ${CMAKE_CURRENT_SOURCE_DIR}/${source})
      endif()
      if(NOT EXISTS ${source})
        message(STATUS "Leaving out a target: ${source} is missing")
        set(${out} FALSE PARENT_SCOPE)
      endif()
    endforeach()
  endif()
endfunction()

# vorlek_test(name SOURCES ... LINKS ... [EMULATOR program]): a GoogleTest program registered with
# CTest; EMULATOR replaces the cross build's runner for it (a Windows test that needs a console).
function(vorlek_test name)
  cmake_parse_arguments(ARG "" "EMULATOR" "SOURCES;LINKS;PROPERTIES" ${ARGN})
  vorlek_sources_present(present ${ARG_SOURCES})
  if(NOT present)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main GTest::gmock)
  vorlek_warnings(${name})
  target_compile_definitions(${name} PRIVATE VORLEK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ARG_EMULATOR)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${ARG_EMULATOR})
  endif()
  gtest_discover_tests(${name} WORKING_DIRECTORY ${PROJECT_BINARY_DIR} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "VORLEK_BUILD_DIR=${PROJECT_BINARY_DIR}" ${ARG_PROPERTIES})
endfunction()

# vorlek_benchmark(name SOURCES ... LINKS ...): a Google Benchmark program.
function(vorlek_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  vorlek_sources_present(present ${ARG_SOURCES})
  if(NOT present)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} benchmark::benchmark benchmark::benchmark_main)
  vorlek_warnings(${name})
endfunction()
