# One GoogleTest program per folder under tests/ (tests/core -> test_core),
# and every tests/cli/*.sh as a test of its own that drives the vq program.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB test_dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir ${test_dirs})
  if(NOT IS_DIRECTORY ${dir})
    continue()
  endif()
  get_filename_component(name ${dir} NAME)
  # A folder with an own_tests.cmake builds its tests itself.
  if(EXISTS ${dir}/own_tests.cmake)
    include(${dir}/own_tests.cmake)
    continue()
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(sources)
    set(target test_${name})
    add_executable(${target} ${sources})
    target_link_libraries(${target} PRIVATE glimvq GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${target} PRIVATE
      GLIMVQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      GLIMVQ_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    gtest_discover_tests(${target}
      DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      PROPERTIES LABELS ${name} ENVIRONMENT "GLIMVQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
    # The whole program once more in one process, so that a test that
    # passes only alone (state left behind by another) is caught.
    add_test(NAME ${target}_whole COMMAND ${target}
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${target}_whole PROPERTIES LABELS "${name};whole"
      ENVIRONMENT "GLIMVQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
  endif()
  if(EXISTS ${dir}/tests.cmake)
    include(${dir}/tests.cmake)
  endif()
endforeach()

file(GLOB cli_scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cli/*.sh)
foreach(script ${cli_scripts})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME cli_${name} COMMAND bash ${script})
  set_tests_properties(cli_${name} PROPERTIES
    LABELS cli
    ENVIRONMENT "VQ=$<TARGET_FILE:vq>;GLIMVQ_SOURCE_DIR=${CMAKE_SOURCE_DIR};GLIMVQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TEST_TMP=${CMAKE_BINARY_DIR}/cli-tmp/${name}")
endforeach()
