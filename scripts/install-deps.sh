#!/usr/bin/env bash
# Installs what building and testing hwGateK needs on Debian 12, as root.
# Idempotent: when everything is there it asks no package server and prints
# nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ binutils file
  gcc-multilib g++-multilib          # the Linux i686 target
  libgtest-dev googletest            # GoogleTest, built from source per target
  libbenchmark-dev                   # Google Benchmark (scripts/bench.sh)
  openjdk-17-jdk-headless            # jni.h, javac, the 64-bit JVM
  openjdk-17-jre-headless:i386       # the 32-bit JVM
  junit5                             # JUnit 5 console launcher
  g++-mingw-w64-i686                 # the Windows i686 target
  wine wine32                        # runs the Windows tests
  clang-14 libclang-rt-14-dev        # libFuzzer and the sanitizer runtimes
  valgrind                           # memcheck run of the library tests
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -qx 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
