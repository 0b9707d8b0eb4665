#!/usr/bin/env bash
# Installs what the project needs, idempotently: Debian packages, the
# zh_CN.UTF-8 locale, the Windows builds of libcurl, expat and GoogleTest
# (from Debian's sources, cross-compiled into $LAUNCHER_DEPS), and one Wine
# prefix. A second run with everything in place only checks and returns.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/cmake/deps-dir.sh"
log() { echo "setup: $*"; }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  cmake ninja-build g++ clang libclang-rt-14-dev
  wine wine32:i386 libwine:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386
  xvfb xauth x11-utils xcompmgr
  libcurl4-openssl-dev libexpat1-dev libgtest-dev googletest libbenchmark-dev libzip-dev
  python3 python3-pytest dpkg-dev fonts-wqy-microhei locales openssl
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
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

mkdir -p "$LAUNCHER_DEPS/src" "$LAUNCHER_DEPS/mingw32"
prefix="$LAUNCHER_DEPS/mingw32"
host=i686-w64-mingw32
jobs=$(nproc)
export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib

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

# expat: plain static library (Debian's source tree keeps it in expat/).
if [ ! -f "$prefix/lib/libexpat.a" ]; then
  dir=$(fetch_source expat)
  log "building expat for Windows from $(basename "$dir")"
  src="$dir"; [ -f "$src/CMakeLists.txt" ] || src="$dir/expat"
  # Debian's CVE patches test "#if XML_DTD == 1", which the CMake-generated
  # config header defines empty; the sed below gives such flags the value 1.
  rm -rf "$dir/build-mingw"
  { cmake -S "$src" -B "$dir/build-mingw" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
      -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=ON \
    && sed -i 's/^#define \(XML_[A-Z_]*\)$/#define \1 1/' "$dir/build-mingw/expat_config.h" \
    && cmake --build "$dir/build-mingw" && cmake --install "$dir/build-mingw"; } \
    >"$LAUNCHER_DEPS/src/expat-mingw.log" 2>&1 \
    || { log "expat build failed; see $LAUNCHER_DEPS/src/expat-mingw.log"; exit 1; }
fi

# libcurl: HTTP and HTTPS only, TLS through Schannel, no other dependency.
if [ ! -f "$prefix/lib/libcurl.a" ]; then
  dir=$(fetch_source curl)
  log "building libcurl for Windows from $(basename "$dir")"
  rm -rf "$dir/build-mingw" && mkdir -p "$dir/build-mingw"
  (cd "$dir" && { [ -x configure ] || autoreconf -fi >/dev/null 2>&1; })
  (cd "$dir/build-mingw" && ../configure --host=$host --prefix="$prefix" \
      --disable-shared --enable-static --with-schannel \
      --disable-ftp --disable-file --disable-ldap --disable-ldaps --disable-rtsp --disable-dict \
      --disable-telnet --disable-tftp --disable-pop3 --disable-imap --disable-smb --disable-smtp \
      --disable-gopher --disable-mqtt --disable-manual --disable-docs --disable-ntlm-wb \
      --without-zlib --without-brotli --without-zstd --without-libpsl --without-libidn2 \
      --without-nghttp2 --without-librtmp --without-libssh2 --without-ca-bundle --without-ca-path \
      >configure.log 2>&1 \
     && make -j"$jobs" -C lib >make.log 2>&1 && make -C lib install >install.log 2>&1 \
     && make -C include install >>install.log 2>&1 && make install-pkgconfigDATA >>install.log 2>&1) \
    || { log "libcurl build failed; see $dir/build-mingw"; exit 1; }
fi

# GoogleTest for Windows, from the sources that Debian ships in /usr/src/googletest.
if [ ! -f "$prefix/lib/libgtest.a" ]; then
  log "building GoogleTest for Windows"
  b="$LAUNCHER_DEPS/src/googletest-mingw"
  rm -rf "$b"
  cmake -S /usr/src/googletest -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF >"$LAUNCHER_DEPS/src/googletest-mingw.log" 2>&1
  cmake --build "$b" >>"$LAUNCHER_DEPS/src/googletest-mingw.log" 2>&1
  cmake --install "$b" >>"$LAUNCHER_DEPS/src/googletest-mingw.log" 2>&1
fi
unset CC CXX AR RANLIB

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

# One Wine prefix for every Windows run.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  log "creating the Wine prefix $WINEPREFIX"
  "$here/cmake/with-xvfb.sh" wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi
log "ready (deps in $LAUNCHER_DEPS)"
