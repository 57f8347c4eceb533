# 64-bit Windows with Debian's MinGW-w64: the build the tests run under wine64.
set(QZX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QZX_MINGW_WINE wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
