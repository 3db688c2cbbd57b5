#!/usr/bin/env bash
# Builds what the Windows cross build links and Debian ships only as source or
# for Linux: Boost.JSON as a static archive (from the Boost
# headers Debian installs) and GoogleTest (from /usr/src/googletest), both with
# the MinGW-w64 toolchain, into build-windows-deps/prefix. Nothing is
# downloaded. A stamp records the inputs; when they have not changed since the
# last run, nothing is done.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$root/build-windows-deps"
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64-posix.cmake"
cxx=x86_64-w64-mingw32-g++-posix
boost_version=1.81.0

inputs="$(
  sha256sum "${BASH_SOURCE[0]}" "$toolchain"
  dpkg-query -W -f='${Package} ${Version}\n' libboost1.81-dev googletest g++-mingw-w64-x86-64-posix
)"
stamp="$deps/inputs.stamp"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$inputs" ]; then
  exit 0
fi

echo "setup: building Boost.JSON and GoogleTest for MinGW-w64 in $prefix"
rm -rf "$prefix" "$deps/work"
mkdir -p "$prefix/include" "$prefix/lib/cmake/Boost-$boost_version" "$deps/work"

# The Boost headers are the Linux package's: they are the same for every
# target. Only boost/ is exposed, never /usr/include itself, whose glibc
# headers would break a MinGW build.
ln -s /usr/include/boost "$prefix/include/boost"

for component in json; do
  source_file="$deps/work/boost_$component.cpp"
  echo "#include <boost/$component/src.hpp>" >"$source_file"
  "$cxx" -std=c++20 -O2 -D_WIN32_WINNT=0x0A00 -isystem "$prefix/include" \
    -c "$source_file" -o "$deps/work/boost_$component.o"
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libboost_$component.a" "$deps/work/boost_$component.o"
done

# Just enough of a package configuration for find_package(Boost ... CONFIG).
cat >"$prefix/lib/cmake/Boost-$boost_version/BoostConfig.cmake" <<'CONFIG'
# Boost for the MinGW-w64 cross build: Debian's headers and JSON compiled
# by scripts/windows_deps.sh.
get_filename_component(_orvix_boost_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET Boost::headers)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_orvix_boost_prefix}/include")
endif()
foreach(_orvix_component IN LISTS Boost_FIND_COMPONENTS)
  set(_orvix_archive "${_orvix_boost_prefix}/lib/libboost_${_orvix_component}.a")
  if(EXISTS "${_orvix_archive}")
    if(NOT TARGET Boost::${_orvix_component})
      add_library(Boost::${_orvix_component} STATIC IMPORTED)
      set_target_properties(Boost::${_orvix_component} PROPERTIES
        IMPORTED_LOCATION "${_orvix_archive}"
        INTERFACE_LINK_LIBRARIES Boost::headers)
    endif()
    set(Boost_${_orvix_component}_FOUND TRUE)
  else()
    set(Boost_${_orvix_component}_FOUND FALSE)
    if(Boost_FIND_REQUIRED_${_orvix_component})
      set(Boost_FOUND FALSE)
      set(Boost_NOT_FOUND_MESSAGE "no MinGW build of Boost.${_orvix_component}: run scripts/windows_deps.sh")
    endif()
  endif()
endforeach()
CONFIG
cat >"$prefix/lib/cmake/Boost-$boost_version/BoostConfigVersion.cmake" <<CONFIG
set(PACKAGE_VERSION $boost_version)
if(PACKAGE_FIND_VERSION VERSION_EQUAL PACKAGE_VERSION)
  set(PACKAGE_VERSION_EXACT TRUE)
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
elseif(PACKAGE_FIND_VERSION VERSION_LESS PACKAGE_VERSION)
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
CONFIG

cmake -S /usr/src/googletest -B "$deps/work/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF >/dev/null
cmake --build "$deps/work/googletest" -j 2 >/dev/null
cmake --install "$deps/work/googletest" >/dev/null

rm -rf "$deps/work"
printf '%s' "$inputs" >"$stamp"
