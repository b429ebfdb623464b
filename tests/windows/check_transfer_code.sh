#!/usr/bin/env bash
# Disassembles the direct port backend's _read and _write and checks that
# each transfer is exactly one byte-wide port instruction and calls nothing:
# with port permission, a transfer costs that instruction and a few moves.
set -u
objdump=$1 object=$2
status=0

listing=$("$objdump" -d -C --no-show-raw-insn "$object") || { echo "FAIL: cannot disassemble $object"; exit 1; }

for function in 'hwgatek::_read(int)' 'hwgatek::_write(signed char, int)'; do
  body=$(awk -v name="<$function>:" '
    index($0, name) { inside = 1; next }
    inside && /^[0-9a-f]+ </ { exit }
    inside && NF { print }' <<<"$listing")
  if [ -z "$body" ]; then
    echo "FAIL: $function not found in $object"
    status=1
    continue
  fi
  ports=$(grep -cE $'\t(in|out)[bwl]?[ \t]' <<<"$body")
  byte_ports=$(grep -cE $'\t(in|out)[ \t]+(\\(%dx\\),%al|%al,\\(%dx\\))' <<<"$body")
  calls=$(grep -cE $'\t(call|lcall)' <<<"$body")
  echo "$function: $ports port instruction(s), $calls call(s)"
  [ "$ports" -eq 1 ] && [ "$byte_ports" -eq 1 ] || { echo "FAIL: $function must hold exactly one byte-wide port instruction with the port in DX"; echo "$body"; status=1; }
  [ "$calls" -eq 0 ] || { echo "FAIL: $function calls something"; echo "$body"; status=1; }
done
exit $status
