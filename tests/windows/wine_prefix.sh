#!/usr/bin/env bash
# The Wine prefix that the Windows tests of one CTest run share, in a
# temporary directory whose path STATE holds.
#   wine_prefix.sh create STATE                make the prefix
#   wine_prefix.sh run STATE PROGRAM ARGS...   run a Windows program in it
#   wine_prefix.sh remove STATE                wait for Wine to end, delete it
set -euo pipefail
action=$1 state=$2
shift 2

export WINEDEBUG=-all
export WINEARCH=win32
# Neither the .NET nor the HTML engine installer, nor menu entries: the
# tests need none of them, and without them a new prefix is made sooner.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"

remove() {
  [ -f "$state" ] || return 0
  local prefix
  prefix=$(cat "$state")
  if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -w || true
    rm -rf "$prefix"
  fi
  rm -f "$state"
}

case $action in
  create)
    remove  # what an interrupted run left behind
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/hwgatek-wine.XXXXXX")
    echo "$prefix" >"$state"
    WINEPREFIX=$prefix wineboot --init
    WINEPREFIX=$prefix wineserver -w
    echo "Wine prefix ready: $prefix"
    ;;
  run)
    if [ ! -f "$state" ]; then
      echo "no Wine prefix: run the Windows tests through ctest, which makes one" >&2
      exit 2
    fi
    WINEPREFIX=$(cat "$state") exec wine "$@"
    ;;
  remove)
    remove
    ;;
  *)
    echo "usage: $0 create|run|remove STATE [PROGRAM ARGS...]" >&2
    exit 2
    ;;
esac
