#!/usr/bin/env bash
# Checks what the built libhwGateK is: its ELF class and machine, that it
# exports exactly the seven entry points, that the C library is its only
# dependency, that it imports nothing beyond the calls it is meant to make
# (no allocation, no C++ runtime), and that nothing of its own runs at load
# or unload.
set -u
lib=$1 target=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

case $target in
  linux-i686) class=ELF32 machine="Intel 80386" ;;
  *) class=ELF64 machine="Advanced Micro Devices X86-64" ;;
esac
readelf -h "$lib" | grep -q "Class: *$class" || fail "ELF class is not $class"
readelf -h "$lib" | grep -q "Machine: *$machine" || fail "machine is not $machine"

expected_exports="Java_Tavex_srv_hwGateK_ioClose
Java_Tavex_srv_hwGateK_ioOpen
Java_Tavex_srv_hwGateK_ioReadPort__I
Java_Tavex_srv_hwGateK_ioReadPort__IJ
Java_Tavex_srv_hwGateK_ioReadQ7460__II
Java_Tavex_srv_hwGateK_ioWritePort__IB
Java_Tavex_srv_hwGateK_ioWritePort__IBJ"
exports=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
[ "$exports" = "$expected_exports" ] || fail "exports differ:
$(diff <(echo "$expected_exports") <(echo "$exports"))"
nm -D --defined-only "$lib" | awk '$2 != "T" {print}' | grep . && fail "an export is not a function"

needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ "$needed" = "libc.so.6" ] || fail "NEEDED is not just libc.so.6: $needed"

# Undefined symbols, without their version: only the calls the port device
# backend and its messages need.
allowed="clock_gettime clock_nanosleep close lseek open prctl printf read write"
for symbol in $(nm -D --undefined-only "$lib" | awk '{print $2}' | sed 's/@.*//'); do
  case " $allowed " in
    *" $symbol "*) ;;
    *) fail "imports $symbol" ;;
  esac
done

dynamic=$(readelf -d "$lib")
for tag in INIT FINI INIT_ARRAY FINI_ARRAY PREINIT_ARRAY; do
  echo "$dynamic" | grep -q "($tag)" && fail "has $tag: code would run at load or unload"
done

[ $status -eq 0 ] && echo "libhwGateK ($target): $class, seven exports, libc only, no load-time code"
exit $status
