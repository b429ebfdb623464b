#!/usr/bin/env bash
# The one command: installs what is missing, builds every target, runs every
# test, then the reliability run. Exits non-zero if any build or test fails.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || exit 1

status=0
for preset in windows-i686 linux-i686 linux-x86_64; do
  echo "=== $preset ==="
  cmake --workflow --preset "$preset" || status=1
done

# Sanitizers, valgrind and a bounded fuzz run over the native code.
scripts/reliability.sh || status=1
exit $status
