# 32-bit Windows with Debian's MinGW-w64: the build of the program that is handed out.
set(QZX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QZX_MINGW_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
