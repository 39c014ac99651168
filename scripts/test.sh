#!/usr/bin/env bash
# Sets everything up, builds and runs all tests (core, window and command-line).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release
QT_QPA_PLATFORM=offscreen ctest --preset release -j2
