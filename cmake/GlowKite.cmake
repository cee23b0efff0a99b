# Small helpers shared by the CMake files of the project.

# glowkite_test(NAME [QT] SOURCES... LIBS libs... [LOCK resource])
# One GoogleTest executable per unit, every case registered with CTest.
# QT: the tests run inside a QApplication (offscreen), with Qt's test helpers.
# LOCK: cases that share a resource (a serial port) never run side by side.
function(glowkite_test name)
  cmake_parse_arguments(T "QT" "LOCK" "SOURCES;LIBS" ${ARGN})
  if(T_QT)
    add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/QtTestMain.cpp)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Widgets Qt6::Test GTest::gtest Threads::Threads)
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  # A cross build lists its cases when the tests run (under the emulator), not
  # while building.
  if(CMAKE_CROSSCOMPILING)
    set(discovery_mode PRE_TEST)
  else()
    set(discovery_mode POST_BUILD)
  endif()
  set(lock "")
  if(T_LOCK)
    set(lock RESOURCE_LOCK ${T_LOCK})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE ${discovery_mode}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${lock} ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GLOWKITE_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    TEST_PREFIX "${name}.")
endfunction()

# glowkite_qt_test(NAME SOURCES... LIBS libs...): glowkite_test with QT.
function(glowkite_qt_test name)
  glowkite_test(${name} QT ${ARGN})
endfunction()

# GoogleTest: the installed package, or, for a cross build
# (GLOWKITE_GTEST_SOURCE_DIR, set by the mingw-w64 toolchain), built from its
# sources with the cross compiler.
macro(glowkite_find_gtest)
  if(GLOWKITE_GTEST_SOURCE_DIR)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GLOWKITE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endmacro()

# glowkite_platform_sources(TARGET WIN32 files... POSIX files...)
# The one side of a target's platform files that fits the system built for.
function(glowkite_platform_sources target)
  cmake_parse_arguments(P "" "" "WIN32;POSIX" ${ARGN})
  if(WIN32)
    target_sources(${target} PRIVATE ${P_WIN32})
  else()
    target_sources(${target} PRIVATE ${P_POSIX})
  endif()
endfunction()
