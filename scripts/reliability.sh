#!/usr/bin/env bash
# The reliability evidence, in one command that fails on any finding:
#   1. the x86_64 native test suite under AddressSanitizer and
#      UndefinedBehaviorSanitizer (fault matrix and child-process check
#      included);
#   2. the library's test program under valgrind memcheck: zero errors;
#   3. the libFuzzer harness for a bounded time (HWGATEK_FUZZ_SECONDS, 60 by
#      default), seeded from fuzz/corpus.
# Builds go to $HWGATEK_RELIABILITY_DIR (default build/reliability). Every
# program runs against the simulator; none touches a real port.
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
out=${HWGATEK_RELIABILITY_DIR:-build/reliability}
case $out in /*) ;; *) out=$repo/$out ;; esac
fuzz_seconds=${HWGATEK_FUZZ_SECONDS:-60}
jobs=${HWGATEK_JOBS:-2}
mkdir -p "$out"

status=0
results=()
started=$SECONDS
step() {  # name, then the command; records a plain result line
  local name=$1 began=$SECONDS
  shift
  echo "=== $name ==="
  if "$@"; then
    results+=("PASS  $name ($((SECONDS - began)) s)")
  else
    results+=("FAIL  $name ($((SECONDS - began)) s)")
    status=1
  fi
}

# Sanitizer settings for every instrumented program (the shim itself tells
# the runtime that it may come first).
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitized_suite() {
  cmake -S . -B "$out/sanitize" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHWGATEK_TARGET=linux-x86_64 -DHWGATEK_SANITIZE=ON >/dev/null &&
    cmake --build "$out/sanitize" -j "$jobs" &&
    ctest --test-dir "$out/sanitize" -j "$jobs" --output-on-failure --no-tests=error
}

valgrind_library_test() {
  cmake -S . -B "$out/plain" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHWGATEK_TARGET=linux-x86_64 >/dev/null &&
    cmake --build "$out/plain" -j "$jobs" --target library_test fd_probe hwgatek_sim || return 1
  LD_PRELOAD="$out/plain/sim/libhwgatek_sim.so" \
    valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
    --track-fds=no --quiet "$out/plain/tests/library_test" --gtest_brief=1
}

fuzz_bounded() {
  cmake -S fuzz -B "$out/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null &&
    cmake --build "$out/fuzz" -j "$jobs" || return 1
  # New inputs go to a scratch corpus; the committed seeds stay as they are.
  rm -rf "$out/fuzz/corpus" "$out/fuzz/findings"
  mkdir -p "$out/fuzz/corpus" "$out/fuzz/findings"
  LD_PRELOAD="$out/fuzz/libhwgatek_sim.so" \
    "$out/fuzz/port_sequence_fuzzer" -max_total_time="$fuzz_seconds" -max_len=256 -timeout=30 \
    -print_final_stats=1 -artifact_prefix="$out/fuzz/findings/" \
    "$out/fuzz/corpus" fuzz/corpus 2>&1 | tee "$out/fuzz/run.log" |
    grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|stat::|==|invariant|SUMMARY|INFO: seed)'
  local fuzz_status=${PIPESTATUS[0]}
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/fuzz/run.log")
  results+=("INFO  fuzz: ${executions:-?} executions in $fuzz_seconds s, findings: $(ls "$out/fuzz/findings" | wc -l)")
  [ "$fuzz_status" -eq 0 ] && [ -z "$(ls "$out/fuzz/findings")" ]
}

step "sanitizers: x86_64 test suite under ASan+UBSan" sanitized_suite
step "valgrind memcheck: library_test" valgrind_library_test
step "fuzz: port_sequence_fuzzer, ${fuzz_seconds} s" fuzz_bounded

echo "=== reliability ==="
printf '%s\n' "${results[@]}"
echo "total $((SECONDS - started)) s"
exit $status
