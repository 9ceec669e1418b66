#!/usr/bin/env bash
# Cross-builds the project for Windows x86-64 into build-windows/: installs the cross compilers and
# Wine (only the missing packages), fetches the dependencies' Debian source packages, builds them
# into build-windows/deps/prefix, builds the project with toolchain.cmake, and packs
# dist/vorlek-VERSION-windows-x86_64.zip (vorlek.exe, vorlek.ogg, a readme) once vorlek.exe imports
# only Windows' own DLLs. Idempotent: a second run rebuilds only what changed.
#   build-windows/deps/{src,build,prefix}  the dependencies: sources, build trees, installed files
#   build-windows/wine                     the Wine prefix the build's generators and tests run in
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$root/build-windows"
deps="$out/deps"
prefix="$deps/prefix"
jobs="$(nproc)"

# libosmesa6: Wine renders GL into bitmaps (the offscreen targets of gles/wgl) with the host's OSMesa.
PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 libz-mingw-w64-dev dpkg-dev cmake
  ninja-build libosmesa6)
SOURCES=(libogg libvorbis kissfft libvterm googletest libpng1.6 nlohmann-json3)

# apt-get source needs a deb-src entry; Debian's images ship only binary ones.
ensure_deb_src() {
  grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  echo "Adding Debian's source packages to apt"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  local suite
  suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$suite" "$suite" | $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
}

# Unpacks each source package once into deps/src/NAME (the version is Debian's, as on the host).
fetch_sources() {
  mkdir -p "$deps/src"
  local missing=()
  for s in "${SOURCES[@]}"; do [ -d "$deps/src/$s" ] || missing+=("$s"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  ensure_deb_src
  local tmp
  tmp="$(mktemp -d "$deps/src/fetch.XXXXXX")"
  for s in "${missing[@]}"; do
    (cd "$tmp" && apt-get source -qq "$s" >/dev/null 2>&1) || { echo "apt-get source $s failed" >&2; exit 1; }
    local dir
    dir="$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -1)"
    mv "$dir" "$deps/src/$s"
    rm -rf "${tmp:?}"/*
  done
  rm -rf "$tmp"
}

# A dependency with its own CMake build, installed static into the prefix; skipped once installed.
cmake_dep() {
  local name="$1" stamp="$prefix/.built-$1"
  shift
  [ -f "$stamp" ] && return 0
  echo "Building $name"
  cmake -S "$deps/src/$name" -B "$deps/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/toolchain.cmake" -DVORLEK_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_POLICY_DEFAULT_CMP0074=NEW \
    "$@" >/dev/null
  cmake --build "$deps/build/$name" -j"$jobs" >/dev/null
  cmake --install "$deps/build/$name" >/dev/null
  touch "$stamp"
}

# libvterm has only a libtool Makefile: its few C files (encoding tables included) are compiled
# here directly.
vterm_dep() {
  local stamp="$prefix/.built-libvterm" src="$deps/src/libvterm" build="$deps/build/libvterm"
  [ -f "$stamp" ] && return 0
  echo "Building libvterm"
  mkdir -p "$build" "$prefix/include" "$prefix/lib/pkgconfig"
  for c in "$src"/src/*.c; do
    x86_64-w64-mingw32-gcc-posix -std=c99 -O2 -w -I"$src/include" -c "$c" -o "$build/$(basename "${c%.c}").o"
  done
  rm -f "$prefix/lib/libvterm.a"
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libvterm.a" "$build"/*.o
  cp "$src"/include/*.h "$prefix/include/"
  local version
  version="$(sed -n 's/^VERSION=//p' "$src/Makefile")"
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\nName: vterm\nDescription: Abstract VT220/Xterm/ECMA-48 emulation library\nVersion: %s\nLibs: -L${libdir} -lvterm\nCflags: -I${includedir}\n' \
    "$prefix" "$version" >"$prefix/lib/pkgconfig/vterm.pc"
  touch "$stamp"
}

build_deps() {
  mkdir -p "$prefix"
  cmake_dep libogg -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
  cmake_dep libvorbis
  cmake_dep kissfft -DKISSFFT_DATATYPE=float -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF -DKISSFFT_TOOLS=OFF \
    -DKISSFFT_PKGCONFIG=ON
  cmake_dep googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  cmake_dep libpng1.6 -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
  cmake_dep nlohmann-json3 -DJSON_BuildTests=OFF -DJSON_Install=ON
  vterm_dep
}

build_project() {
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$here/toolchain.cmake" -DVORLEK_WINDOWS_PREFIX="$prefix" \
    -DVORLEK_WERROR="${VORLEK_WERROR:-$werror}" -DVORLEK_BENCH=OFF >/dev/null
  cmake --build "$out" -j"$jobs"
}

# The DLLs a program may import: the system's own, the C runtime among them.
SYSTEM_DLLS="kernel32.dll user32.dll gdi32.dll opengl32.dll winmm.dll msvcrt.dll advapi32.dll"

check_imports() {
  local exe="$1" dll bad=0 headers
  headers="$(x86_64-w64-mingw32-objdump -p "$exe")"
  grep -q 'Magic.*020b.*PE32+' <<<"$headers" || { echo "$exe: not PE32+" >&2; return 1; }
  for dll in $(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z'); do
    case " $SYSTEM_DLLS " in *" $dll "*) ;; *) echo "$exe imports $dll, which Windows does not ship" >&2; bad=1 ;; esac
  done
  return $bad
}

package() {
  local version name stage
  version="$(sed -n 's/^project(vorlek VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
  name="vorlek-$version-windows-x86_64"
  stage="$out/dist/$name"
  check_imports "$out/vorlek.exe"
  rm -rf "$stage"
  mkdir -p "$stage" "$root/dist"
  cp "$out/vorlek.exe" "$out/vorlek.ogg" "$stage/"
  sed "s/@VERSION@/$version/" "$here/readme.txt" | sed 's/$/\r/' >"$stage/readme.txt"
  x86_64-w64-mingw32-strip "$stage/vorlek.exe"
  rm -f "$root/dist/$name.zip"
  (cd "$out/dist" && cmake -E tar cf "$root/dist/$name.zip" --format=zip "$name")
  echo "Packed dist/$name.zip"
}

"$root/tools/install-packages.sh" "${PACKAGES[@]}"
fetch_sources
build_deps
# The build runs the tests once to list their cases, and its own generators, under Wine.
. "$here/wine-env.sh"
wine_start
trap wine_stop EXIT
build_project
package
