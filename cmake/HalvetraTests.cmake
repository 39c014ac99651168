# One GoogleTest executable per test source, named after the file.
function(halvetra_add_gtests)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  foreach(src IN LISTS ARG_SOURCES)
    get_filename_component(name "${src}" NAME_WE)
    add_executable(${name} "${src}")
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    set_target_properties(${name} PROPERTIES AUTOMOC OFF)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()

# One QtTest executable per test source.
function(halvetra_add_qtests)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  foreach(src IN LISTS ARG_SOURCES)
    get_filename_component(name "${src}" NAME_WE)
    add_executable(${name} "${src}")
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    # The window keeps its size in the user's settings: the tests keep theirs apart.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
      "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/qtest-config")
  endforeach()
endfunction()
