# 32-bit Windows cross build with mingw-w64 (posix thread model). These machines cannot execute
# 32-bit code, so this build is compiled and inspected, never run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(GS_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${GS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GS_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${GS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
