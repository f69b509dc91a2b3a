#!/usr/bin/env bash
# Installs what building and testing dinfo needs on a fresh Debian machine,
# or only the packages named as arguments. Does nothing when every package
# is already there.
set -euo pipefail

packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  valgrind binutils
  g++-mingw-w64-x86-64 wine64 googletest
  libtiff-dev libcli11-dev nlohmann-json3-dev
  librsvg2-bin zlib1g-dev pkg-config dpkg-dev file lintian
  llvm lld
)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "apt-get update (quiet; a minute or two on a fresh machine)"
$SUDO apt-get update -qq
echo "apt-get install: ${#missing[@]} packages with their dependencies (quiet; several minutes on a fresh machine)"
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
