#!/usr/bin/env bash
# Checks what the built hwGateK.dll is, from objdump -p: a PE32 DLL for
# i386 with an entry point, that records its name as hwGateK.dll, exports
# exactly the seven decorated entry points, and imports from KERNEL32.dll
# alone, only what its runtime uses (nothing for port access, nothing that
# pauses). It must not be marked NO_SEH and must carry no SafeSEH table
# (a load configuration), either of which would make Windows refuse the
# exception handler that keeps a refused port instruction from ending the
# process.
set -u
objdump=$1 dll=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }
field() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$headers"; }

grep -q 'file format pei-i386$' <<<"$headers" || fail "not a pei-i386 image"
grep -q '^Magic.*(PE32)$' <<<"$headers" || fail "not PE32"
grep -q '^[[:space:]]DLL$' <<<"$headers" || fail "not marked as a DLL"
[ "$((16#$(field AddressOfEntryPoint)))" -ne 0 ] || fail "entry point is 0"
grep -qw NO_SEH <<<"$headers" && fail "marked NO_SEH"
grep -Eq '^Entry a 0+ 0+ Load Configuration Directory' <<<"$headers" ||
  fail "has a load configuration (a SafeSEH table would have to list the port handler)"
grep -Eq '^Name[[:space:]]+[0-9a-f]+ hwGateK\.dll$' <<<"$headers" ||
  fail "export table does not record the name hwGateK.dll"

expected_exports="_Java_Tavex_srv_hwGateK_ioClose@8
_Java_Tavex_srv_hwGateK_ioOpen@8
_Java_Tavex_srv_hwGateK_ioReadPort__I@12
_Java_Tavex_srv_hwGateK_ioReadPort__IJ@20
_Java_Tavex_srv_hwGateK_ioReadQ7460__II@16
_Java_Tavex_srv_hwGateK_ioWritePort__IB@16
_Java_Tavex_srv_hwGateK_ioWritePort__IBJ@24"
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
  awk '/^[[:space:]]+\[/ { print $NF }' | sort)
[ "$exports" = "$expected_exports" ] || fail "exports differ:
$(diff <(echo "$expected_exports") <(echo "$exports"))"
# Nothing exported by ordinal alone either: seven addresses for seven names.
addresses=$(awk '/Number in:/ { counts = 1 } counts && /Export Address Table/ { print $NF; exit }' <<<"$headers")
[ "$((16#${addresses:-0}))" -eq 7 ] || fail "export address table has ${addresses:-no} entries, not 7"

dlls=$(awk '/DLL Name:/ { print $3 }' <<<"$headers")
[ "$dlls" = "KERNEL32.dll" ] || fail "imports from more than KERNEL32.dll: $(echo $dlls)"

expected_imports="GetFileType
GetStdHandle
QueryPerformanceCounter
QueryPerformanceFrequency
WriteFile"
imports=$(sed -n '/DLL Name: KERNEL32.dll/,/^$/p' <<<"$headers" |
  awk '/^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ { print $3 }' | sort)
[ "$imports" = "$expected_imports" ] || fail "KERNEL32 imports differ:
$(diff <(echo "$expected_imports") <(echo "$imports"))"

[ $status -eq 0 ] && echo "hwGateK.dll: PE32 i386 DLL, seven decorated exports, KERNEL32.dll only, SEH allowed"
exit $status
