# Small helpers shared by the CMake files of the project.

# glowkite_test(NAME SOURCES... LIBS libs...)
# One GoogleTest executable per unit, every case registered with CTest.
function(glowkite_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GLOWKITE_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    TEST_PREFIX "${name}.")
endfunction()
