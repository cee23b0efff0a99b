# Small helpers shared by the CMake files of the project.

# glowkite_test(NAME [QT] [THREADED] SOURCES... LIBS libs... [LOCK resource])
# One GoogleTest executable per unit, every case registered with CTest and
# labelled with its folder under tests/.
# QT: the tests run inside a QApplication (offscreen), with Qt's test helpers.
# THREADED (implied for tests/serial) adds the label "threaded": those tests
# also run under ThreadSanitizer (preset "tsan", which builds only the target
# threaded_tests).
# LOCK: cases that share a resource (a serial port) never run side by side.
function(glowkite_test name)
  cmake_parse_arguments(T "QT;THREADED" "LOCK" "SOURCES;LIBS" ${ARGN})
  if(T_QT)
    add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/QtTestMain.cpp)
    # support/QtHelpers.h finds the program's files through settings/.
    target_link_libraries(${name} PRIVATE ${T_LIBS} gk_settings Qt6::Widgets Qt6::Test GTest::gtest Threads::Threads)
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  set(labels ${folder})
  if(T_THREADED OR folder MATCHES "^serial")
    list(APPEND labels threaded)
    set_property(GLOBAL APPEND PROPERTY GLOWKITE_THREADED_TESTS ${name})
  endif()
  set(lock "")
  if(T_LOCK)
    set(lock "\n    RESOURCE_LOCK \"${T_LOCK}\"")
  endif()
  # Under Wine every start of a Qt program costs seconds (about 2.4 s): a
  # cross build runs each Qt test program once, as one CTest test, instead of
  # once per case.
  if(T_QT AND CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GLOWKITE_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
      LABELS "${labels}" TIMEOUT 600)
    # One at a time: two Qt programs side by side on the tests' display under
    # Wine were seen to hang both (each passes alone).
    set(locks wine_qt_display ${T_LOCK})
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
    return()
  endif()
  # A cross build lists its cases when the tests run (under the emulator), not
  # while building.
  if(CMAKE_CROSSCOMPILING)
    set(discovery_mode PRE_TEST)
  else()
    set(discovery_mode POST_BUILD)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE ${discovery_mode}
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS
    TEST_PREFIX "${name}.")
  # gtest_discover_tests hands every element of PROPERTIES on as an argument
  # of its own, which breaks list values (two variables, two labels); the
  # properties are set once CTest has read the discovered tests.
  set(properties ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${properties}
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES\n"
    "    ENVIRONMENT \"QT_QPA_PLATFORM=offscreen;GLOWKITE_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data\"\n"
    "    LABELS \"${labels}\"${lock})\n"
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

# glowkite_headers(TARGET)
# Exports the target's own folder of src/, and only that, as "<folder>/X.h":
# the include root is a folder of the build tree holding one link to the
# source folder. A target sees the headers of what it links and nothing
# else, so an include upward (a core reaching into the window, a dialog into
# the program) fails to build. Where no link can be made (a Windows host
# without the right to make one) the whole of src/ is the root.
function(glowkite_headers target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  set(link ${root}/${folder})
  if(NOT IS_SYMLINK ${link})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${link} RESULT failed SYMBOLIC)
    if(failed)
      set(root ${PROJECT_SOURCE_DIR}/src)
    endif()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
