# Cross-builds the Windows programs on Debian with mingw-w64 (package
# g++-mingw-w64-x86-64). The posix thread model gives std::thread and
# std::mutex; everything from the compiler's own libraries is linked in, so
# an .exe needs nothing beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VIMBEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VIMBEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VIMBEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VIMBEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VIMBEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Tests and tools run the programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# zlib (the test server's compressed pages) from Debian's libz-mingw-w64-dev,
# linked in like the rest.
set(ZLIB_USE_STATIC_LIBS ON)
