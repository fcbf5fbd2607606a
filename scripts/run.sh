#!/usr/bin/env bash
# Sets everything up, builds and runs the program. With a display it starts
# the window program with its demo running (kivo --demo); without one it
# runs the built-in demo in the terminal:
# a primary polling three simulated protection devices over a pseudo-terminal
# pair, its log printed live (Ctrl-C ends it; without a terminal it runs for
# 20 seconds; arguments go to the demo, e.g. --duration 60 --print log).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # With a display the window shows the demo at once (no arguments) or
  # opens what it is given.
  if [ $# -eq 0 ]; then set -- --demo; fi
  exec build/bin/kivo "$@"
fi
if [ $# -eq 0 ] && [ ! -t 0 ]; then
  # Not at a terminal (a script or a CI job): a run of its own length.
  set -- --duration 20
fi
echo "No display: running the demo (Ctrl-C ends it)."
exec build/bin/kivo-cli --language usa demo "$@"
