#!/usr/bin/env bash
# The demo: installs what is missing, builds the jar, the x86_64 library and
# the simulator, then reads all 16 channels of the simulated Q7460 board at
# 0x300 through hwgatek.jar and libhwGateK, on the 64-bit JVM with the
# simulator's shim under it. No hardware and no root needed once the
# packages are installed. Extra arguments replace "q7460 0x300".
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build/linux-x86_64
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "building hwgatek.jar and the simulator into $build (log: $log) ..." >&2
if ! { cmake --preset linux-x86_64 &&
       cmake --build --preset linux-x86_64 -j 2 --target hwgatek_jar hwgatek_simguard hwgatek_sim; } \
     >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

[ $# -gt 0 ] || set -- q7460 0x300
# The guard agent stops the JVM unless the shim is in place, so the demo
# never reaches a real port device.
LD_PRELOAD="$PWD/$build/sim/libhwgatek_sim.so" \
  /usr/lib/jvm/java-17-openjdk-amd64/bin/java \
  -javaagent:"$build/java/hwgatek_simguard.jar" -jar "$build/java/hwgatek.jar" "$@"
