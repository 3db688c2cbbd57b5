# Cross build for 64-bit Windows with Debian's MinGW-w64, posix thread model
# (the win32 model of GCC 12 has no std::mutex or std::thread, which Asio
# needs). Every Windows-only compiler and linker setting lives here.
#
# Boost.JSON, Boost.URL and GoogleTest come from the cross prefix that
# scripts/windows_deps.sh builds from Debian's own sources.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

get_filename_component(ORVIX_WINDOWS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build-windows-deps/prefix" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${ORVIX_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Keeps the Linux Boost and GoogleTest package configurations out.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Nothing to ship beside the .exe files: the C++ runtime, winpthread and zlib
# are linked in, so they import only system DLLs.
# Symbols are stripped: the .exe is what ships.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s")

# The Linux build's optimisation level. MinGW's GCC 12 reports a false
# -Wrestrict inside std::string's operator+ (GCC bug 105651), which the Linux
# build does not.
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
add_compile_options(-Wno-restrict)

# Windows 10 APIs, wide-character Win32 calls, no min/max macros.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

# Tests (ctest, gtest discovery) run the .exe files under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine_run.sh")
