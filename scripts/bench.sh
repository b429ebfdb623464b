#!/usr/bin/env bash
# Benchmarks, one run: builds the x86_64 tree, times a port read through the
# Java class (figure c's JVM side), then runs the native benchmarks, which
# print every figure as a ratio against its baseline from the same run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux-x86_64 >/dev/null
cmake --build --preset linux-x86_64 >/dev/null

build=build/linux-x86_64
shim=$PWD/$build/sim/libhwgatek_sim.so
java=/usr/lib/jvm/java-17-openjdk-amd64/bin/java

jvm_line=$(HWGATEK_SIM_TIME=virtual LD_PRELOAD=$shim "$java" \
  -Dhwgatek.library.path=$PWD/$build/src/libhwGateK.so \
  -cp "$build/bench/jvm-bench.jar:$build/java/hwgatek.jar" JvmPortRead)
echo "$jvm_line"
jvm_ns=$(sed -n 's/.*median_ns=\([0-9.]*\).*/\1/p' <<<"$jvm_line")

echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(uname -r)"
HWGATEK_BENCH_JVM_NS=$jvm_ns LD_PRELOAD=$shim "$build/bench/native_bench" --benchmark_color=false "$@"
