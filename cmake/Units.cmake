# One static library per subsystem folder: every .cpp in the folder is one unit.
function(qorm_subsystem_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# One test program per test source: tests/<folder>/<unit>_test.cpp -> <folder>_<unit>_test.
# A test source whose units start threads says so in a line "// Label: threads": its tests get the label "threads",
# and a ThreadSanitizer build (QORM_TSAN) builds and registers only those.
function(qorm_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp")
  foreach(src IN LISTS sources)
    get_filename_component(stem "${src}" NAME_WE)
    set(target "${folder}_${stem}")
    add_executable(${target} "${src}")
    target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
    target_include_directories(${target} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
    set(labels "")
    file(STRINGS "${src}" threaded REGEX "^// Label: threads$" LIMIT_COUNT 1)
    if(threaded)
      set(labels threads)
    elseif(QORM_TSAN)
      set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL TRUE)
      continue()
    endif()
    # A source whose tests play the game in real time names their time limit in seconds: "// Timeout: 1800".
    set(timeout "")
    file(STRINGS "${src}" timeoutLine REGEX "^// Timeout: [0-9]+$" LIMIT_COUNT 1)
    if(timeoutLine)
      string(REGEX REPLACE "^// Timeout: " "" seconds "${timeoutLine}")
      set(timeout TIMEOUT ${seconds})
    endif()
    # Listing the tests starts a sanitised program; on a busy machine that takes longer than the default 5 s.
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
      WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
      PROPERTIES ENVIRONMENT "QORM_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp" LABELS "${labels}" ${timeout})
  endforeach()
endfunction()

# A fuzz target or benchmark that needs more than its folder's common libraries names them in a line of its source:
#   // Links: shell demo_game_paths
function(qorm_source_links target src)
  file(STRINGS "${src}" lines REGEX "^// Links: " LIMIT_COUNT 1)
  if(lines)
    string(REGEX REPLACE "^// Links: " "" libs "${lines}")
    separate_arguments(libs)
    target_link_libraries(${target} PRIVATE ${libs})
  endif()
endfunction()
