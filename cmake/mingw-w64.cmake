# Cross-compiling for Windows with the POSIX-thread mingw-w64 compilers of the
# processor that the including toolchain file names.
set(CMAKE_SYSTEM_NAME Windows)
set(MW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER   ${MW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
