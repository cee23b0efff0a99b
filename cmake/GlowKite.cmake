# Small helpers shared by the CMake files of the project.

# glowkite_test(NAME [QT] [THREADED] SOURCES... LIBS libs...)
# One GoogleTest executable per unit, every case registered with CTest and
# labelled with its folder under tests/.
# QT: the tests run inside a QApplication (offscreen), with Qt's test helpers.
# THREADED (implied for tests/serial) adds the label "threaded": those tests
# also run under ThreadSanitizer (preset "tsan", which builds only the target
# threaded_tests).
function(glowkite_test name)
  cmake_parse_arguments(T "QT;THREADED" "" "SOURCES;LIBS" ${ARGN})
  if(T_QT)
    add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/QtTestMain.cpp)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Widgets Qt6::Test GTest::gtest Threads::Threads)
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  set(labels ${folder})
  if(T_THREADED OR folder MATCHES "^serial")
    list(APPEND labels threaded)
    set_property(GLOBAL APPEND PROPERTY GLOWKITE_THREADED_TESTS ${name})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS
    TEST_PREFIX "${name}.")
  # gtest_discover_tests hands every element of PROPERTIES on as an argument
  # of its own, which breaks list values (two variables, two labels); these
  # are set once CTest has read the discovered tests.
  set(properties ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${properties}
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES\n"
    "    ENVIRONMENT \"QT_QPA_PLATFORM=offscreen;GLOWKITE_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data\"\n"
    "    LABELS \"${labels}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties})
endfunction()

# glowkite_qt_test(NAME SOURCES... LIBS libs...): glowkite_test with QT.
function(glowkite_qt_test name)
  glowkite_test(${name} QT ${ARGN})
endfunction()

# After all tests are defined: the target that builds the threaded ones.
function(glowkite_threaded_tests_target)
  get_property(tests GLOBAL PROPERTY GLOWKITE_THREADED_TESTS)
  add_custom_target(threaded_tests)
  if(tests)
    add_dependencies(threaded_tests ${tests})
  endif()
endfunction()
