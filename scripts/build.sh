#!/usr/bin/env bash
# Installs the dependencies and builds the given preset (release by default).
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET=${1:-release}
bash scripts/setup-deps.sh
# HALVETRA_WERROR=1 (as CI sets it) makes every compiler warning an error.
OPTIONS=(-DHALVETRA_WARNINGS_AS_ERRORS="$([ "${HALVETRA_WERROR:-0}" = 1 ] && echo ON || echo OFF)")
cmake --preset "$PRESET" "${OPTIONS[@]}" >/dev/null
cmake --build --preset "$PRESET"
