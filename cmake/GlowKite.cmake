# Small helpers shared by the CMake files of the project.

# glowkite_test(NAME [QT] SOURCES... LIBS libs...)
# One GoogleTest executable per unit, every case registered with CTest.
# QT: the tests run inside a QApplication (offscreen), with Qt's test helpers.
function(glowkite_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  if(T_QT)
    add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/QtTestMain.cpp)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Widgets Qt6::Test GTest::gtest Threads::Threads)
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GLOWKITE_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    TEST_PREFIX "${name}.")
endfunction()

# glowkite_qt_test(NAME SOURCES... LIBS libs...): glowkite_test with QT.
function(glowkite_qt_test name)
  glowkite_test(${name} QT ${ARGN})
endfunction()
