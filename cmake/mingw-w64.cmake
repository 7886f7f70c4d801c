# Cross-compiling for 64-bit Windows with MinGW-w64 on Debian:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DORONT_GUI=OFF -DORONT_BENCH=OFF
# The posix-thread compiler provides std::mutex and std::thread; -static links
# the C++ runtime and winpthreads in, so the programs need no MinGW DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORONT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORONT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORONT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORONT_MINGW_TRIPLE}-windres)

# Libraries and packages come from the MinGW tree or from prefixes named in
# CMAKE_PREFIX_PATH (the cross-built GoogleTest); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ORONT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# The device link's Windows backend uses the device setup interface.
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "-lsetupapi")
