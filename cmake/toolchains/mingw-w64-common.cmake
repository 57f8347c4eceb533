# Shared part of the MinGW-w64 cross toolchains; the per-architecture files set QZX_MINGW_TRIPLE
# and include this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# The "-posix" compilers: std::thread and std::mutex need the winpthreads threading model in
# GCC 12, and Debian's default alternative is the win32 model without them.
set(CMAKE_C_COMPILER ${QZX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QZX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QZX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QZX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 is the oldest system the program runs on; the headers then offer nothing newer.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)

# One file with no DLL beside it: the C++ runtime, libgcc and winpthreads go into the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests built here run under Wine when it can load programs of this architecture.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR AND QZX_MINGW_WINE)
  find_program(QZX_WINE_PROGRAM NAMES ${QZX_MINGW_WINE} PATHS /usr/lib/wine)
  if(QZX_WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QZX_WINE_PROGRAM})
  endif()
endif()
