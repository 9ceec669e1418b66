# Cross toolchain for Windows x86-64: Debian's mingw-w64 compilers with POSIX threads (std::thread
# needs them), everything linked statically so that a program needs only Windows' own DLLs.
# VORLEK_WINDOWS_PREFIX names the folder the dependencies were built into (tools/windows/build.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# try_compile reads this file again in a fresh project: hand it the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORLEK_WINDOWS_PREFIX)

# Headers and libraries only from the cross root and the dependencies' prefix, never from the host;
# programs (pkg-config, perl) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VORLEK_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the cross packages, and names the private libraries a static link needs.
set(ENV{PKG_CONFIG_LIBDIR} "${VORLEK_WINDOWS_PREFIX}/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_ARGN --static CACHE STRING "Arguments for pkg-config")

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# FindZLIB takes the import library of zlib1.dll unless told otherwise.
set(ZLIB_USE_STATIC_LIBS ON)

# Programs built here (the tests, the build's own generators) run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
