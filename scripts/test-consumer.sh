# Sourced by scripts/test.sh: dinfo as a downstream user meets it. Installs
# the release build into a temporary prefix and builds tests/consumer
# against it twice, through find_package(dinfo) and through pkg-config, as C
# and as C++, then runs them on the sample information file; checks that a
# subproject builds the library alone; checks the three Debian packages,
# lintian and the licence included. Then unpacks the Windows zip, checks
# what it holds (every path its README.txt names, the licence in both
# version resources), builds the same programs with mingw-w64 and one
# against dinfo.lib with lld-link, builds the kit's sample from the kit
# alone (its README's MinGW lines, clang for the MSVC target against
# dinfo.lib, and its CMake project with each compiler), and runs them and
# dinfo.exe under Wine. Adds one count a check to the totals.

consumer_root=$(mktemp -d)
consumer_expected=$PWD/tests/consumer/expected.txt
consumer_expected_cpp=$PWD/tests/consumer/expected-cpp.txt
consumer_expected_sample=$PWD/tests/consumer/expected-sample.txt
consumer_mingw_root=/usr/x86_64-w64-mingw32
# The licence's copyright line, which the packages and resources carry.
consumer_copyright=$(grep -m 1 '^Copyright (c) ' LICENSE)
consumer_copyright_holder=$(sed -E 's/^Copyright \(c\) [0-9, -]+ //' <<<"$consumer_copyright")
consumer_copyright_years=$(sed -E 's/^Copyright \(c\) ([0-9, -]+) .*/\1/' <<<"$consumer_copyright")
consumer_wineprefix=$PWD/build/mingw/wineprefix
consumer_data_folder=$(printf 'D\303\244t\303\244')  # a folder name beyond ASCII
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

# A consumer's output: the version line, then what the expected file holds.
# Programs run in the sample's folder.
consumer_output_matches() {
  local expected=$1 output
  shift
  output=$(cd "$consumer_root" && "$@" | tr -d '\r') || return 1
  [ "$(head -n 1 <<<"$output")" = "dinfo $consumer_version" ] || { echo "$output"; return 1; }
  diff <(tail -n +2 <<<"$output") "$expected"
}

# The folder of dinfo.pc under an installation prefix (lib, or Debian's
# multiarch lib/<triplet>).
consumer_pc_dir() {
  dirname "$(find "$1" -name dinfo.pc | head -n 1)"
}

consumer_linux() {
  local prefix=$consumer_root/linux
  cmake --install build/release --prefix "$prefix" &&
    "$prefix/bin/dinfo" build examples/sample.json -o "$consumer_root/sample.dat" || return 1
  mkdir -p "$consumer_root/$consumer_data_folder" &&
    cp "$consumer_root/sample.dat" "$consumer_root/$consumer_data_folder/" || return 1
  consumer_version=$(PKG_CONFIG_LIBDIR=$(consumer_pc_dir "$prefix") pkg-config --modversion dinfo) || return 1
  "$prefix/bin/dinfo" --version | grep -qxF "dinfo $consumer_version"
}

# The C program and the C++ one (the version line, then expected-cpp.txt),
# run by RUNNER (none, or consumer_wine).
consumer_runs() {
  local runner=$1
  # shellcheck disable=SC2086
  consumer_output_matches "$consumer_expected" $runner "$2" sample.dat &&
    consumer_output_matches "$consumer_expected_cpp" $runner "$3"
}

consumer_cmake() {
  cmake -S tests/consumer -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$1" \
    -DEXPECTED_VERSION="$consumer_version" &&
    cmake --build "$2" &&
    consumer_runs "" "$2/consumer" "$2/consumer_cpp"
}

# C99 with gcc, C++11 with clang, whose warnings on NULL are the stricter.
consumer_pkg_config() {
  local flags
  flags=$(PKG_CONFIG_LIBDIR=$(consumer_pc_dir "$1") pkg-config --cflags --libs dinfo) || return 1
  # shellcheck disable=SC2086
  cc -std=c99 -Wall -Wextra -Wpedantic -Werror tests/consumer/consumer.c $flags -o "$consumer_root/consumer-pc" &&
    clang++ -std=c++11 -Wall -Wextra -Wpedantic -Wold-style-cast -Wzero-as-null-pointer-constant -Werror \
      tests/consumer/consumer.cpp $flags -o "$consumer_root/consumer-cpp-pc" &&
    LD_LIBRARY_PATH=$(consumer_pc_dir "$1")/.. consumer_runs "" "$consumer_root/consumer-pc" "$consumer_root/consumer-cpp-pc" &&
    cc -std=c99 -Wall -Wextra -Wpedantic -Wconversion -Werror examples/sample.c $flags -o "$consumer_root/sample" &&
    LD_LIBRARY_PATH=$(consumer_pc_dir "$1")/.. consumer_sample_answers "$consumer_root" "dinfo linked" "$consumer_root/sample"
}

# The kit's sample, run in FOLDER on the sample file there: its first line
# says how it found the exports (FIRST), the rest are the answers.
consumer_sample_answers() {
  local folder=$1 first=$2 output
  shift 2
  output=$(cd "$folder" && "$@" sample.dat | tr -d '\r') || { echo "$output"; return 1; }
  [ "$(head -n 1 <<<"$output")" = "$first" ] || { echo "$output"; return 1; }
  diff <(tail -n +2 <<<"$output") "$consumer_expected_sample"
}

# As a subproject dinfo builds the shared library and nothing of its own
# beside it: no static forms, test hooks, writer or tool.
consumer_subproject() {
  local build=$consumer_root/subproject plan
  cmake -S tests/consumer -B "$build" -G Ninja -DDINFO_SOURCE_DIR="$PWD" >/dev/null &&
    plan=$(ninja -C "$build" -t commands all) || return 1
  grep -q "libdinfo.so" <<<"$plan" || { echo "the library is not built:"; echo "$plan"; return 1; }
  if grep -E "platform_test|libdinfo_core|libdinfo_static|writer|tools/cli" <<<"$plan"; then
    echo "a subproject builds more than the library"
    return 1
  fi
}

# The three packages: what each holds (% stands for the multiarch folder),
# and lintian finds neither error nor warning in any.
consumer_deb() {
  cpack --config build/release/CPackConfig.cmake -B "$consumer_root/deb" >/dev/null || return 1
  local package path deb contents
  for package in "libdinfo1:usr/lib/%/libdinfo.so.1" \
    "libdinfo-dev:usr/lib/%/libdinfo.so usr/include/dinfo/dinfo.h usr/include/dinfo/table.h
      usr/include/dinfo/version.h usr/lib/%/pkgconfig/dinfo.pc usr/lib/%/cmake/dinfo/dinfoConfig.cmake
      usr/share/doc/libdinfo-dev/TABLE_FORMAT.md" \
    "dinfo:usr/bin/dinfo usr/share/man/man1/dinfo.1.gz usr/share/doc/dinfo/COMMANDS.md
      usr/share/doc/dinfo/STATUS_CODES.md"; do
    local name=${package%%:*} copyright
    deb=$(ls "$consumer_root/deb/${name}_"*.deb) || return 1
    [ "$(dpkg-deb -f "$deb" Version)" = "$consumer_version" ] || return 1
    contents=$(dpkg-deb -c "$deb")
    for path in ${package#*:} usr/share/doc/$name/copyright usr/share/doc/$name/changelog.gz \
      usr/share/doc/$name/CHANGELOG.md; do
      grep -q " \./${path//%/[^/]*}\( \|$\)" <<<"$contents" || { echo "missing from $deb: $path"; return 1; }
    done
    # The copyright file: the holder and years of LICENSE, the MIT licence
    # under Debian's name for it, its terms.
    copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/doc/$name/copyright") || return 1
    grep -qxF "Copyright: $consumer_copyright_years $consumer_copyright_holder" <<<"$copyright" &&
      grep -qxF "License: Expat" <<<"$copyright" &&
      grep -qF "Permission is hereby granted, free of charge" <<<"$copyright" ||
      { echo "the copyright file of $deb lacks the licence:"; echo "$copyright"; return 1; }
  done
  if ! command -v lintian >/dev/null; then
    echo "lintian is not installed"
    return 1
  fi
  local findings
  findings=$(lintian --tag-display-limit 0 "$consumer_root"/deb/*.deb 2>&1 | grep -E '^[EW]: ')
  [ -z "$findings" ] || { echo "$findings"; return 1; }
}

# Windows programs run in the sample's folder, with dinfo.dll beside them.
consumer_wine() {
  env WINEPREFIX="$consumer_wineprefix" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" LC_ALL=C.UTF-8 "$consumer_wine64" "$@"
}

# The zip as a Windows team unpacks it: every part in its place, the DLL's
# tables as shipped, a version resource of the project's version in the
# DLL and in the tool.
consumer_windows() {
  local unpacked=$consumer_root/windows path file
  cpack --config build/mingw/CPackConfig.cmake -B "$consumer_root/zip" >/dev/null &&
    mkdir -p "$unpacked" &&
    (cd "$unpacked" && cmake -E tar xf "$consumer_root"/zip/dinfo-*.zip) || return 1
  unpacked=$(echo "$unpacked"/dinfo-*)
  for path in bin/dinfo.dll bin/dinfo.exe lib/libdinfo.dll.a lib/dinfo.lib lib/dinfo.def \
    lib/cmake/dinfo/dinfoConfig.cmake lib/pkgconfig/dinfo.pc include/dinfo/dinfo.h include/dinfo/table.h \
    include/dinfo/version.h doc/TABLE_FORMAT.md doc/COMMANDS.md doc/STATUS_CODES.md README.txt \
    LICENSE CHANGELOG.md examples/sample.c examples/CMakeLists.txt examples/sample.json examples/sample.dat; do
    [ -f "$unpacked/$path" ] || { echo "missing from the zip: $path"; return 1; }
  done
  # The Linux source README, whose steps need files the zip lacks, is not
  # among the kit's documents.
  [ ! -e "$unpacked/doc/README.md" ] || { echo "the zip holds the source README as doc/README.md"; return 1; }
  cmp LICENSE "$unpacked/LICENSE" && cmp CHANGELOG.md "$unpacked/CHANGELOG.md" &&
    cmp docs/README-Windows.md "$unpacked/README.txt" && cmp examples/sample.json "$unpacked/examples/sample.json" &&
    consumer_readme_paths "$unpacked" || return 1
  cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DLIBRARY="$unpacked/bin/dinfo.dll" \
    -P tests/windows/check_dll_tables.cmake || return 1
  local resource value
  for file in "$unpacked/bin/dinfo.dll" "$unpacked/bin/dinfo.exe"; do
    resource=$(x86_64-w64-mingw32-windres -i "$file" -O rc) || return 1
    for value in "FileVersion\", \"$consumer_version" "ProductVersion\", \"$consumer_version" \
      "CompanyName\", \"$consumer_copyright_holder" "LegalCopyright\", \"$consumer_copyright" \
      "ProductName\", \"dinfo" "FileDescription\", \"dinfo "; do
      grep -qF "VALUE \"$value" <<<"$resource" ||
        { echo "the version resource of $file lacks $value:"; echo "$resource"; return 1; }
    done
  done
  consumer_windows_dll=$unpacked/bin/dinfo.dll
  consumer_windows_prefix=$unpacked
}

# Every path of the kit that its README.txt names (bin/..., include/...,
# lib/..., doc/..., examples/..., and the files at its top, in either kind
# of slash) is in the kit.
consumer_readme_paths() {
  local kit=$1 paths path
  paths=$(grep -oE '(^|[^A-Za-z0-9_.])(bin|include|lib|doc|examples)[/\\][A-Za-z0-9_./\\-]*|LICENSE|CHANGELOG\.md|README\.txt' \
    "$kit/README.txt" | sed -E 's/^[^A-Za-z]//; s|\\|/|g; s|[./]+$||' | sort -u)
  [ "$(wc -l <<<"$paths")" -ge 15 ] || { echo "README.txt names few paths of the kit:"; echo "$paths"; return 1; }
  for path in $paths; do
    [ -e "$kit/$path" ] || { echo "README.txt names $path, which the zip lacks"; return 1; }
  done
  # Its table of the six functions gives each the ordinal of dinfo.def.
  local table exports
  table=$(sed -nE 's/^\| ([0-9]+) \| `(DI[A-Za-z]+)` \|.*/\2 @\1/p' "$kit/README.txt")
  exports=$(sed -nE 's/^ +(DI[A-Za-z]+ @[0-9]+).*/\1/p' "$kit/lib/dinfo.def")
  [ -n "$exports" ] && [ "$table" = "$exports" ] ||
    { echo "README.txt's functions: $table"; echo "dinfo.def: $exports"; return 1; }
}

# A copy of the kit alone, in which the sample is built.
consumer_kit_copy() {
  rm -rf "$1" && cp -r "$consumer_windows_prefix" "$1"
}

# The sample built by the MinGW lines of README.txt as they stand (with
# stricter warnings added), in the kit's examples folder: linked against
# libdinfo.dll.a, and loading dinfo.dll by name and by ordinal.
consumer_windows_sample_mingw() {
  local kit=$consumer_root/kit-mingw lines line
  consumer_kit_copy "$kit" || return 1
  lines=$(grep -E '^    x86_64-w64-mingw32-gcc ' "$kit/README.txt")
  [ "$(wc -l <<<"$lines")" -eq 2 ] || { echo "README.txt should give two MinGW lines: $lines"; return 1; }
  while read -r line; do
    # shellcheck disable=SC2086
    (cd "$kit/examples" && $line -Wextra -Wpedantic -Wconversion -Werror) || return 1
  done <<<"$lines"
  cp "$kit/bin/dinfo.dll" "$kit/examples/" &&
    consumer_sample_answers "$kit/examples" "dinfo linked" consumer_wine "$kit/examples/sample.exe" &&
    consumer_sample_answers "$kit/examples" "dinfo.dll loaded, exports found by name" \
      consumer_wine "$kit/examples/sample-load.exe" &&
    consumer_sample_answers "$kit/examples" "dinfo.dll loaded, exports found by ordinal" \
      consumer_wine "$kit/examples/sample-load.exe" --ordinal
}

# clang for the MSVC target. Microsoft's headers and C runtime are not on
# this machine: MinGW's headers and its import library of msvcrt.dll stand
# in for them, with tests/consumer/msvc_crt_start.c as the start-up code.
consumer_msvc_cc() {
  clang --target=x86_64-pc-windows-msvc -std=c99 -Wall -Wextra -Werror -D__USE_MINGW_ANSI_STDIO=0 \
    -isystem "$consumer_mingw_root/include" "$@"
}

# The sample for the MSVC target, linked by lld-link against dinfo.lib.
consumer_windows_sample_msvc() {
  local kit=$consumer_root/kit-msvc
  consumer_kit_copy "$kit" &&
    consumer_msvc_cc -Wpedantic -Wconversion -I "$kit/include" -c "$kit/examples/sample.c" -o "$kit/sample.obj" &&
    consumer_msvc_cc -c tests/consumer/msvc_crt_start.c -o "$kit/start.obj" &&
    lld-link -nologo -entry:mainCRTStartup -subsystem:console -nodefaultlib "$kit/sample.obj" "$kit/start.obj" \
      "$kit/lib/dinfo.lib" "$consumer_mingw_root/lib/libmsvcrt.a" -out:"$kit/examples/sample.exe" &&
    cp "$kit/bin/dinfo.dll" "$kit/examples/" &&
    consumer_sample_answers "$kit/examples" "dinfo linked" consumer_wine "$kit/examples/sample.exe"
}

# The kit's CMake package as each compiler sees it: the sample's project
# links libdinfo.dll.a with MinGW and dinfo.lib with clang for the MSVC
# target (no other import library on either link line), and the programs
# it builds, with dinfo.dll and sample.dat copied beside them, answer.
consumer_cmake_links() {
  local build=$1 wanted=$2 unwanted=$3 line
  line=$(ninja -C "$build" -t commands sample.exe | tail -n 1)
  grep -qF "/lib/$wanted" <<<"$line" && ! grep -qF "$unwanted" <<<"$line" ||
    { echo "sample.exe should link $wanted alone: $line"; return 1; }
}

consumer_windows_sample_cmake() {
  local kit=$consumer_root/kit-cmake build
  consumer_kit_copy "$kit" || return 1
  build=$consumer_root/sample-cmake-mingw
  # The toolchain file looks for packages in the MinGW tree alone, which
  # the kit is not in: the package's folder is named.
  cmake -S "$kit/examples" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -Ddinfo_DIR="$kit/lib/cmake/dinfo" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -Wconversion -Werror" &&
    consumer_cmake_links "$build" libdinfo.dll.a dinfo.lib &&
    cmake --build "$build" &&
    consumer_sample_answers "$build" "dinfo linked" consumer_wine "$build/sample.exe" &&
    consumer_sample_answers "$build" "dinfo.dll loaded, exports found by ordinal" \
      consumer_wine "$build/sample-load.exe" --ordinal || return 1
  build=$consumer_root/sample-cmake-msvc
  mkdir -p "$build" && consumer_msvc_cc -c tests/consumer/msvc_crt_start.c -o "$build/start.obj" &&
    cmake -S "$kit/examples" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
      -DCMAKE_SYSTEM_PROCESSOR=AMD64 -DCMAKE_C_COMPILER=clang -DCMAKE_C_COMPILER_TARGET=x86_64-pc-windows-msvc \
      -DCMAKE_LINKER=lld-link -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY -DCMAKE_PREFIX_PATH="$kit" \
      -DCMAKE_C_FLAGS="-Wall -Wextra -Werror -isystem $consumer_mingw_root/include -D__USE_MINGW_ANSI_STDIO=0" \
      -DCMAKE_C_STANDARD_LIBRARIES="$build/start.obj $consumer_mingw_root/lib/libmsvcrt.a" \
      -DCMAKE_EXE_LINKER_FLAGS="-fuse-ld=lld-link -nostdlib -Wl,-entry:mainCRTStartup -Wl,-nodefaultlib" &&
    consumer_cmake_links "$build" dinfo.lib libdinfo.dll.a &&
    cmake --build "$build" --target sample &&
    consumer_sample_answers "$build" "dinfo linked" consumer_wine "$build/sample.exe"
}

consumer_windows_cmake() {
  local build=$consumer_root/windows-cmake
  cmake -S tests/consumer -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -Ddinfo_DIR="$consumer_windows_prefix/lib/cmake/dinfo" -DEXPECTED_VERSION="$consumer_version" &&
    cmake --build "$build" &&
    cp "$consumer_windows_dll" "$consumer_root/" &&
    consumer_runs consumer_wine "$build/consumer.exe" "$build/consumer_cpp.exe"
}

consumer_windows_pkg_config() {
  local build=$consumer_root/windows-pkg-config flags
  mkdir -p "$build"
  flags=$(PKG_CONFIG_LIBDIR=$consumer_windows_prefix/lib/pkgconfig pkg-config --cflags --libs dinfo) || return 1
  # shellcheck disable=SC2086
  x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror tests/consumer/consumer.c $flags \
    -o "$build/consumer.exe" &&
    cp "$consumer_windows_dll" "$consumer_root/" &&
    consumer_output_matches "$consumer_expected" consumer_wine "$build/consumer.exe" sample.dat
}

# dinfo.lib as Microsoft's linker reads it: lld-link links a program built
# for the MSVC target against it alone, and the program answers under Wine.
consumer_windows_msvc_link() {
  local build=$consumer_root/windows-msvc
  mkdir -p "$build" &&
    clang --target=x86_64-pc-windows-msvc -std=c99 -ffreestanding -fno-stack-protector -Wall -Werror \
      -I "$consumer_windows_prefix/include" -c tests/consumer/msvc_link.c -o "$build/msvc_link.obj" &&
    lld-link -nologo -entry:mainCRTStartup -subsystem:console -nodefaultlib "$build/msvc_link.obj" \
      "$consumer_windows_prefix/lib/dinfo.lib" -out:"$build/msvc_link.exe" &&
    cp "$consumer_windows_dll" "$consumer_root/" &&
    (cd "$consumer_root" && consumer_wine "$build/msvc_link.exe")
}

# The zip's dinfo.exe, alone: its version, and the sample read by path and
# by folder and name, the folder named beyond ASCII.
consumer_windows_tool() {
  local tool=$consumer_windows_prefix/bin/dinfo.exe output
  output=$(cd "$consumer_root" && consumer_wine "$tool" --version | tr -d '\r') &&
    [ "$output" = "dinfo $consumer_version" ] || { echo "--version: $output"; return 1; }
  output=$(cd "$consumer_root" && consumer_wine "$tool" inspect sample.dat | tr -d '\r') &&
    grep -q "^information file sample.dat, " <<<"$output" || { echo "inspect: $output"; return 1; }
  output=$(cd "$consumer_root" &&
    consumer_wine "$tool" format --folder "$consumer_data_folder" --name sample.dat | tr -d '\r') &&
    [ "$output" = "format type 3" ] || { echo "format: $output"; return 1; }
}

echo "consumer: building the library and the tool of the release preset"
if cmake --preset release >/dev/null && cmake --build --preset release --target dinfo dinfo_cli >/dev/null; then
  consumer_check linux-install consumer_linux
  consumer_check linux-cmake consumer_cmake "$consumer_root/linux" "$consumer_root/linux-cmake"
  consumer_check linux-pkg-config consumer_pkg_config "$consumer_root/linux"
  consumer_check subproject consumer_subproject
  consumer_check debian-packages consumer_deb
else
  echo "consumer: build failed: release"
  failed=$((failed + 1))
  status=1
fi

consumer_wine64=$(ls /usr/lib/wine/wine64 /usr/lib64/wine/wine64 2>/dev/null | head -n 1)
consumer_wine64=${consumer_wine64:-$(command -v wine64 || command -v wine)}
echo "consumer: building dinfo.dll, dinfo.exe and the sample file of the mingw preset (minutes on a fresh machine)"
if [ -n "$consumer_version" ] && cmake --preset mingw >/dev/null &&
  cmake --build --preset mingw --target dinfo dinfo_cli dinfo_msvc_import_library dinfo_wine_prefix \
    dinfo_example_sample >/dev/null; then
  consumer_check windows-zip consumer_windows
  consumer_check windows-cmake consumer_windows_cmake
  consumer_check windows-pkg-config consumer_windows_pkg_config
  consumer_check windows-msvc-link consumer_windows_msvc_link
  consumer_check windows-tool consumer_windows_tool
  consumer_check windows-sample-mingw consumer_windows_sample_mingw
  consumer_check windows-sample-msvc consumer_windows_sample_msvc
  consumer_check windows-sample-cmake consumer_windows_sample_cmake
else
  echo "consumer: build failed: mingw (or no version from the Linux install)"
  failed=$((failed + 1))
  status=1
fi
rm -rf "$consumer_root"
