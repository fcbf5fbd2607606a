#!/usr/bin/env bash
# Sets everything up, builds and starts the window program. Without a display
# it runs under a virtual X server for a few seconds and leaves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/kivo "$@"
fi
echo "No display: running kivo under Xvfb for 5 seconds."
shot="$PWD/build/kivo-window.png"
xvfb-run -a -s "-screen 0 1024x700x24" bash -c '
  build/bin/kivo "$@" & pid=$!
  sleep 4
  if command -v import >/dev/null; then import -window root "'"$shot"'" && echo "Screenshot: '"$shot"'"; fi
  kill $pid; wait $pid 2>/dev/null || true' -- "$@"
echo "kivo ran; it needs a desktop to be used interactively."
