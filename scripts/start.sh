#!/usr/bin/env bash
# Sets everything up, builds and starts the application. Without a display
# (a bare server) it runs under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/src/halvetra
fi
echo "No display found: starting Halvetra under xvfb-run (screen :99)."
exec xvfb-run -a -s "-screen 0 1280x800x24" build/release/src/halvetra
