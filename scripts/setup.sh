#!/usr/bin/env bash
# Installs what the project needs, idempotently: Debian packages, the
# zh_CN.UTF-8 locale, the Windows builds (i686 and x86_64) of libcurl, expat
# and GoogleTest (from Debian's sources, cross-compiled into $LAUNCHER_DEPS),
# and the Wine prefixes. Finds out whether this machine runs 32-bit Linux
# programs: where it does, Debian's 32-bit Wine runs the shipped i686 build;
# where it does not, 64-bit Wine runs the x86_64 build. A second run with
# everything in place only checks and returns.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
forced=${LAUNCHER_WINDOWS:-}
. "$here/cmake/deps-dir.sh"
log() { echo "setup: $*"; }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

runs_i386=0
probe_rc=0
machine_runs_i386 || probe_rc=$?
case $probe_rc in
  0) runs_i386=1 ;;
  1) ;;
  *) log "cannot tell whether this machine runs 32-bit programs (see above)"; exit 1 ;;
esac
if [ "$forced" = win32 ] && [ $runs_i386 -eq 0 ]; then
  log "LAUNCHER_WINDOWS=win32, but this machine refuses 32-bit Linux programs, so 32-bit Wine cannot run"
  exit 1
fi
if [ -n "$forced" ] && [ "$forced" != win32 ] && [ "$forced" != win64 ]; then
  log "LAUNCHER_WINDOWS is win32 or win64, not '$forced'"
  exit 1
fi

# The 64-bit libraries are named with their architecture: where 32-bit Wine
# was installed before, the bare name would find the i386 copy.
native_arch=$(dpkg --print-architecture)
packages=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  cmake ninja-build g++ clang libclang-rt-14-dev
  wine64 "libwine:$native_arch" "libgl1:$native_arch" "libgl1-mesa-dri:$native_arch" "libglx-mesa0:$native_arch"
  xvfb xauth x11-utils xcompmgr openbox
  libcurl4-openssl-dev libexpat1-dev libssl-dev nginx-light libgtest-dev googletest libbenchmark-dev libzip-dev
  python3 python3-pytest dpkg-dev fonts-wqy-microhei locales openssl
)
# 32-bit Wine, and the i386 GL libraries without which Direct3D 9 under Wine
# has no adapter, only where the kernel runs 32-bit programs.
if [ $runs_i386 -eq 1 ]; then
  packages+=(wine wine32:i386 libwine:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386)
fi

missing=()
if [ $runs_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  log "adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
  missing=(update)
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# Source packages need deb-src lines for the same mirrors as the binaries.
src_list=/etc/apt/sources.list.d/launcher-src.sources
need_src=0
for d in curl expat; do
  ls "$LAUNCHER_DEPS"/src/$d-*/ >/dev/null 2>&1 || need_src=1
done
if [ $need_src -eq 1 ] && [ ! -f "$src_list" ]; then
  log "adding deb-src entries"
  $SUDO tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  missing+=(update)
fi

if [ ${#missing[@]} -gt 0 ]; then
  log "installing: ${missing[*]}"
  $SUDO apt-get update -q
  pkgs=()
  for p in "${missing[@]}"; do [ "$p" = update ] || pkgs+=("$p"); done
  if [ ${#pkgs[@]} -gt 0 ]; then
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${pkgs[@]}"
  fi
fi

# The Simplified Chinese locale for the runs in ANSI code page 936. Wine takes
# its code page from LC_ALL's name alone, but without the generated locale
# the Unix side falls back to ASCII and mangles command lines and file names.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  log "generating the zh_CN.UTF-8 locale"
  $SUDO sed -i 's/^# *\(zh_CN\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qx 'zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

mkdir -p "$LAUNCHER_DEPS/src"
jobs=$(nproc)

# Fetches a Debian source package (with Debian's patches applied) into src/.
# The security suite's .dsc can be missing on the mirror while its binary is
# there; then the release suite's source is used.
fetch_source() {
  local name=$1 dir
  dir=$(ls -d "$LAUNCHER_DEPS"/src/$name-*/ 2>/dev/null | head -n1 || true)
  if [ -z "$dir" ]; then
    local tmp; tmp=$(mktemp -d "$LAUNCHER_DEPS/src/fetch.XXXX")
    (cd "$tmp" && { apt-get source -q "$name" || { rm -rf ./*; apt-get source -q "$name/bookworm"; }; }) >&2
    mv "$tmp"/$name-*/ "$LAUNCHER_DEPS/src/"
    rm -rf "$tmp"
    dir=$(ls -d "$LAUNCHER_DEPS"/src/$name-*/ | head -n1)
  fi
  echo "${dir%/}"
}

# windows_deps HOST CACHE TOOLCHAIN: expat, libcurl and GoogleTest for one
# Windows build, static, into $LAUNCHER_DEPS/CACHE.
windows_deps() {
  local host=$1 prefix="$LAUNCHER_DEPS/$2" toolchain="$here/cmake/$3" dir src
  mkdir -p "$prefix"
  export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib

  # expat: plain static library (Debian's source tree keeps it in expat/).
  if [ ! -f "$prefix/lib/libexpat.a" ]; then
    dir=$(fetch_source expat)
    log "building expat for $host from $(basename "$dir")"
    src="$dir"; [ -f "$src/CMakeLists.txt" ] || src="$dir/expat"
    # Debian's CVE patches test "#if XML_DTD == 1", which the CMake-generated
    # config header defines empty; the sed below gives such flags the value 1.
    rm -rf "$dir/build-$host"
    { cmake -S "$src" -B "$dir/build-$host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
        -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=ON \
      && sed -i 's/^#define \(XML_[A-Z_]*\)$/#define \1 1/' "$dir/build-$host/expat_config.h" \
      && cmake --build "$dir/build-$host" && cmake --install "$dir/build-$host"; } \
      >"$LAUNCHER_DEPS/src/expat-$host.log" 2>&1 \
      || { log "expat build failed; see $LAUNCHER_DEPS/src/expat-$host.log"; exit 1; }
  fi

  # libcurl: HTTP and HTTPS only, TLS through Schannel, no other dependency.
  if [ ! -f "$prefix/lib/libcurl.a" ]; then
    dir=$(fetch_source curl)
    log "building libcurl for $host from $(basename "$dir")"
    rm -rf "$dir/build-$host" && mkdir -p "$dir/build-$host"
    (cd "$dir" && { [ -x configure ] || autoreconf -fi >/dev/null 2>&1; })
    (cd "$dir/build-$host" && ../configure --host=$host --prefix="$prefix" \
        --disable-shared --enable-static --with-schannel \
        --disable-ftp --disable-file --disable-ldap --disable-ldaps --disable-rtsp --disable-dict \
        --disable-telnet --disable-tftp --disable-pop3 --disable-imap --disable-smb --disable-smtp \
        --disable-gopher --disable-mqtt --disable-manual --disable-docs --disable-ntlm-wb \
        --without-zlib --without-brotli --without-zstd --without-libpsl --without-libidn2 \
        --without-nghttp2 --without-librtmp --without-libssh2 --without-ca-bundle --without-ca-path \
        >configure.log 2>&1 \
       && make -j"$jobs" -C lib >make.log 2>&1 && make -C lib install >install.log 2>&1 \
       && make -C include install >>install.log 2>&1 && make install-pkgconfigDATA >>install.log 2>&1) \
      || { log "libcurl build failed; see $dir/build-$host"; exit 1; }
  fi

  # GoogleTest, from the sources that Debian ships in /usr/src/googletest.
  if [ ! -f "$prefix/lib/libgtest.a" ]; then
    log "building GoogleTest for $host"
    local b="$LAUNCHER_DEPS/src/googletest-$host"
    rm -rf "$b"
    { cmake -S /usr/src/googletest -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF \
      && cmake --build "$b" && cmake --install "$b"; } >"$LAUNCHER_DEPS/src/googletest-$host.log" 2>&1 \
      || { log "GoogleTest build failed; see $LAUNCHER_DEPS/src/googletest-$host.log"; exit 1; }
  fi
  unset CC CXX AR RANLIB
}
windows_deps i686-w64-mingw32 mingw32 mingw-i686.cmake
windows_deps x86_64-w64-mingw32 mingw64 mingw-x86_64.cmake

# expat for the fuzz preset: native, static, built with the fuzz targets'
# instrumentation so that libFuzzer sees coverage inside the XML parser.
fuzz_prefix="$LAUNCHER_DEPS/fuzz"
if [ ! -f "$fuzz_prefix/lib/libexpat.a" ]; then
  dir=$(fetch_source expat)
  log "building instrumented expat for fuzzing from $(basename "$dir")"
  src="$dir"; [ -f "$src/CMakeLists.txt" ] || src="$dir/expat"
  flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
  rm -rf "$dir/build-fuzz"
  { cmake -S "$src" -B "$dir/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_INSTALL_PREFIX="$fuzz_prefix" \
      -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
      -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF \
    && sed -i 's/^#define \(XML_[A-Z_]*\)$/#define \1 1/' "$dir/build-fuzz/expat_config.h" \
    && cmake --build "$dir/build-fuzz" && cmake --install "$dir/build-fuzz"; } \
    >"$LAUNCHER_DEPS/src/expat-fuzz.log" 2>&1 \
    || { log "instrumented expat build failed; see $LAUNCHER_DEPS/src/expat-fuzz.log"; exit 1; }
fi

# One Wine prefix per Windows build this machine runs: the 64-bit one always
# (the x86_64 build's tests), the 32-bit one where 32-bit programs run.
make_prefix() {
  wine_use "$1"
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  log "creating the Wine prefix $WINEPREFIX"
  "$here/cmake/with-xvfb.sh" "$LAUNCHER_WINE" wineboot --init >"$LAUNCHER_DEPS/wineboot-$1.log" 2>&1 || true
  "$LAUNCHER_WINESERVER" -w || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "could not create the Wine prefix $WINEPREFIX; see $LAUNCHER_DEPS/wineboot-$1.log"
    exit 1
  fi
}
make_prefix win64
[ $runs_i386 -eq 1 ] && make_prefix win32

if [ $runs_i386 -eq 1 ]; then
  echo win32 >"$LAUNCHER_DEPS/windows-build"
  why="this machine runs 32-bit Linux programs"
else
  echo win64 >"$LAUNCHER_DEPS/windows-build"
  why="this machine refuses 32-bit Linux programs, so only 64-bit Wine runs here"
fi
test_build=${forced:-$(cat "$LAUNCHER_DEPS/windows-build")}
[ -n "$forced" ] && why="LAUNCHER_WINDOWS=$forced"
if [ "$test_build" = win64 ]; then
  log "the Windows tests run the x86_64 build (win64) under 64-bit Wine: $why"
else
  log "the Windows tests run the i686 build (win32) under 32-bit Wine, and the x86_64 build's unit tests under 64-bit Wine: $why"
fi
log "ready (deps in $LAUNCHER_DEPS)"
