#!/usr/bin/env bash
# Builds the core libraries and their tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh sanitize
ctest --preset sanitize -j2
