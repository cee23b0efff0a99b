# Cross build of the whole program, window included, for 64-bit Windows: Qt's
# own toolchain file from the Qt that scripts/build-qt-windows installs, which
# chain-loads the project's mingw-w64 toolchain and adds that Qt to the search
# paths. Included again by every try_compile, so it relies on the environment
# only.
if(DEFINED ENV{GLOWKITE_QT_MINGW_PREFIX} AND NOT "$ENV{GLOWKITE_QT_MINGW_PREFIX}" STREQUAL "")
  set(_glowkite_qt_prefix "$ENV{GLOWKITE_QT_MINGW_PREFIX}")
elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_glowkite_qt_prefix "$ENV{XDG_CACHE_HOME}/glowkite/qt6-mingw-6.4.2")
else()
  set(_glowkite_qt_prefix "$ENV{HOME}/.cache/glowkite/qt6-mingw-6.4.2")
endif()

if(NOT EXISTS "${_glowkite_qt_prefix}/.glowkite-complete")
  message(FATAL_ERROR "No complete Qt for Windows in ${_glowkite_qt_prefix}: "
                      "run scripts/build-qt-windows first")
endif()

# The Qt DLLs link the compiler's runtime as DLLs; the program then does the
# same, so that one copy of libstdc++ serves the whole process.
set(GLOWKITE_MINGW_SHARED_RUNTIME ON)
set(QT_CHAINLOAD_TOOLCHAIN_FILE "${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
include("${_glowkite_qt_prefix}/lib/cmake/Qt6/qt.toolchain.cmake")
