# Sourced by scripts/test.sh: dinfo as a downstream user meets it. Installs
# the release build into a temporary prefix and builds tests/consumer
# against it twice, through find_package(dinfo) and through pkg-config,
# then runs both on the sample information file; checks the Debian
# package; then unpacks the Windows zip, builds the same two ways with
# mingw-w64 and runs both under Wine. Adds one count a check to the totals.

consumer_root=$(mktemp -d)
consumer_expected=$PWD/tests/consumer/expected.txt
consumer_wineprefix=$PWD/build/mingw/wineprefix
consumer_version=
consumer_windows_prefix=
consumer_windows_dll=

# Runs a check quietly; on failure shows the end of its output.
consumer_check() {
  local name=$1
  shift
  if "$@" >"$consumer_root/$name.log" 2>&1; then
    echo "consumer: $name passed"
    passed=$((passed + 1))
  else
    echo "consumer: $name FAILED"
    tail -n 30 "$consumer_root/$name.log"
    failed=$((failed + 1))
    status=1
  fi
}

# A consumer's output: the version line, then what tests/consumer/expected.txt holds.
consumer_output_matches() {
  local output
  output=$("$@" | tr -d '\r') || return 1
  [ "$(head -n 1 <<<"$output")" = "dinfo $consumer_version" ] || { echo "$output"; return 1; }
  diff <(tail -n +2 <<<"$output") "$consumer_expected"
}

consumer_linux() {
  local prefix=$consumer_root/linux
  cmake --install build/release --prefix "$prefix" &&
    "$prefix/bin/dinfo" build examples/sample.json -o "$consumer_root/sample.dat" || return 1
  consumer_version=$(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --modversion dinfo) || return 1
  # The tool reports the same version where it knows --version.
  if "$prefix/bin/dinfo" --version >/dev/null 2>&1; then
    "$prefix/bin/dinfo" --version | grep -qF "$consumer_version" || return 1
  fi
}

consumer_cmake() {
  cmake -S tests/consumer -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$1" \
    -DEXPECTED_VERSION="$consumer_version" &&
    cmake --build "$2" &&
    consumer_output_matches "$2/consumer" "$consumer_root/sample.dat"
}

consumer_pkg_config() {
  local flags
  flags=$(PKG_CONFIG_LIBDIR=$1/lib/pkgconfig pkg-config --cflags --libs dinfo) || return 1
  # shellcheck disable=SC2086
  cc -std=c99 -Wall -Wextra -Wpedantic -Werror tests/consumer/consumer.c $flags \
    -o "$consumer_root/consumer-pc" &&
    LD_LIBRARY_PATH=$1/lib consumer_output_matches "$consumer_root/consumer-pc" "$consumer_root/sample.dat"
}

consumer_deb() {
  cpack --config build/release/CPackConfig.cmake -B "$consumer_root/deb" >/dev/null || return 1
  local deb
  deb=$(ls "$consumer_root"/deb/dinfo_*.deb) || return 1
  [ "$(dpkg-deb -f "$deb" Version)" = "$consumer_version" ] || return 1
  local contents path
  contents=$(dpkg-deb -c "$deb")
  for path in usr/lib/libdinfo.so.1 usr/bin/dinfo usr/share/man/man1/dinfo.1 \
    usr/include/dinfo/dinfo.h usr/include/dinfo/table.h usr/include/dinfo/version.h \
    usr/lib/pkgconfig/dinfo.pc usr/lib/cmake/dinfo/dinfoConfig.cmake; do
    grep -q "\./$path" <<<"$contents" || { echo "missing from the package: $path"; return 1; }
  done
}

# Windows programs run from the sample's folder, with dinfo.dll beside them.
consumer_wine() {
  local program=$1
  (cd "$consumer_root" &&
    env WINEPREFIX="$consumer_wineprefix" WINEARCH=win64 WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" LC_ALL=C.UTF-8 \
      "$consumer_wine64" "$program" sample.dat)
}

consumer_windows() {
  local unpacked=$consumer_root/windows path
  cpack --config build/mingw/CPackConfig.cmake -B "$consumer_root/zip" >/dev/null &&
    mkdir -p "$unpacked" &&
    (cd "$unpacked" && cmake -E tar xf "$consumer_root"/zip/dinfo-*.zip) || return 1
  unpacked=$(echo "$unpacked"/dinfo-*)
  for path in bin/dinfo.dll lib/libdinfo.dll.a include/dinfo/dinfo.h include/dinfo/table.h \
    include/dinfo/version.h; do
    [ -f "$unpacked/$path" ] || { echo "missing from the zip: $path"; return 1; }
  done
  consumer_windows_dll=$unpacked/bin/dinfo.dll
  consumer_windows_prefix=$unpacked
}

consumer_windows_cmake() {
  local build=$consumer_root/windows-cmake
  cmake -S tests/consumer -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -Ddinfo_DIR="$consumer_windows_prefix/lib/cmake/dinfo" -DEXPECTED_VERSION="$consumer_version" &&
    cmake --build "$build" &&
    cp "$consumer_windows_dll" "$build/" &&
    consumer_output_matches consumer_wine "$build/consumer.exe"
}

consumer_windows_pkg_config() {
  local build=$consumer_root/windows-pkg-config flags
  mkdir -p "$build"
  flags=$(PKG_CONFIG_LIBDIR=$consumer_windows_prefix/lib/pkgconfig pkg-config --cflags --libs dinfo) || return 1
  # shellcheck disable=SC2086
  x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror tests/consumer/consumer.c $flags \
    -o "$build/consumer.exe" &&
    cp "$consumer_windows_dll" "$build/" &&
    consumer_output_matches consumer_wine "$build/consumer.exe"
}

if cmake --preset release >/dev/null && cmake --build --preset release --target dinfo dinfo_cli >/dev/null; then
  consumer_check linux-install consumer_linux
  consumer_check linux-cmake consumer_cmake "$consumer_root/linux" "$consumer_root/linux-cmake"
  consumer_check linux-pkg-config consumer_pkg_config "$consumer_root/linux"
  consumer_check debian-package consumer_deb
else
  echo "consumer: build failed: release"
  failed=$((failed + 1))
  status=1
fi

consumer_wine64=$(ls /usr/lib/wine/wine64 /usr/lib64/wine/wine64 2>/dev/null | head -n 1)
consumer_wine64=${consumer_wine64:-$(command -v wine64 || command -v wine)}
if [ -n "$consumer_version" ] && cmake --preset mingw >/dev/null &&
  cmake --build --preset mingw --target dinfo dinfo_wine_prefix >/dev/null; then
  consumer_check windows-zip consumer_windows
  consumer_check windows-cmake consumer_windows_cmake
  consumer_check windows-pkg-config consumer_windows_pkg_config
else
  echo "consumer: build failed: mingw (or no version from the Linux install)"
  failed=$((failed + 1))
  status=1
fi
rm -rf "$consumer_root"
