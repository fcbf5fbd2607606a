#!/usr/bin/env bash
# The layer check over a tree made for the purpose: allowed includes pass,
# an include that runs upward, one between folders of the same layer and Qt
# in the core each fail it with the file named.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/src/{link,log,send,record,platform/posix} "$tree"/cli "$tree"/ui

expect() {  # expect pass|fail WHAT
  local want=$1 what=$2 out rc=0
  out=$(bash "$check" "$tree" 2>&1) || rc=$?
  if [[ $want == pass && $rc -ne 0 ]] || [[ $want == fail && $rc -eq 0 ]]; then
    echo "FAILED: $what: exit $rc"
    echo "$out"
    exit 1
  fi
  if [[ $want == fail && $out != *"$3"* ]]; then
    echo "FAILED: $what: the report does not name $3"
    echo "$out"
    exit 1
  fi
  echo "ok: $what"
}

printf '#include "record/ft12.h"\n#include "link/other.h"\n#include <vector>\n' > "$tree/src/link/a.cpp"
printf '#include "platform/clock.h"\n' > "$tree/src/platform/posix/clock.cpp"
printf '#include "app/instance.h"\n#include "platform/posix/pty.h"\n' > "$tree/cli/run.cpp"
printf '#include <QWidget>\n#include "app/instance.h"\n' > "$tree/ui/window.cpp"
expect pass "includes that point down"

printf '#include "send/send_execution.h"\n' > "$tree/src/link/up.cpp"
expect fail "an include that runs upward" "src/link/up.cpp"
rm "$tree/src/link/up.cpp"

printf '#include "log/log_store.h"\n' > "$tree/src/link/side.cpp"
expect fail "an include sideways" "src/link/side.cpp"
rm "$tree/src/link/side.cpp"

printf '#include "platform/posix/termios_port.h"\n' > "$tree/src/link/hardware.cpp"
expect fail "hardware past the platform interfaces" "src/link/hardware.cpp"
rm "$tree/src/link/hardware.cpp"

printf '#include <QString>\n' > "$tree/src/record/qt.h"
expect fail "Qt in the core" "src/record/qt.h"
rm "$tree/src/record/qt.h"

mkdir -p "$tree/src/extra"
printf '\n' > "$tree/src/extra/x.cpp"
expect fail "a folder without a layer" "src/extra/x.cpp"
