# Cross build for 32-bit Windows with mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZELT_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER   ${ZELT_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELT_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZELT_TRIPLE}-windres)
set(ZELT_WIDL          ${ZELT_TRIPLE}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything the runtime needs is linked in: the modules depend on system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
