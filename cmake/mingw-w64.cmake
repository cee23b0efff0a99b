# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix:
# the POSIX thread model, which std::thread and std::mutex need). Without Qt,
# executables are linked statically, so they run without the compiler's DLLs;
# with Qt (cmake/mingw-w64-qt.cmake) they share the DLLs that Qt itself links.
# Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT GLOWKITE_MINGW_SHARED_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# No GoogleTest for mingw in Debian: build it from the sources that the
# googletest package ships.
set(GLOWKITE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build with the cross compiler")

find_program(GLOWKITE_WINE NAMES wine wine64)
if(GLOWKITE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GLOWKITE_WINE})
endif()
