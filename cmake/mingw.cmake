# Cross-compiles for Windows with MinGW-w64. VM_WINDOWS_ARCH is i686 for the 32-bit program
# we ship, or x86_64 for its twin that runs the tests on hosts that cannot execute 32-bit
# code (there Wine has no 32-bit loader). The -posix compilers are required: the win32
# thread model has no std::mutex and GoogleTest needs it.
set(VM_WINDOWS_ARCH i686 CACHE STRING "i686 or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VM_WINDOWS_ARCH})
set(triple ${VM_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
