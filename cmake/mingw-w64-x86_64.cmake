# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads: std::thread and
# std::jthread need them). Used for Qt for Windows and for the tool's Windows build alike.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TK_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
