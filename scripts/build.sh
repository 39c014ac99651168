#!/usr/bin/env bash
# Installs the dependencies and builds the given preset (release by default).
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET=${1:-release}
bash scripts/setup-deps.sh
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET"
